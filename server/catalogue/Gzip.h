#pragma once

#include <QByteArray>

// The gzip form (RFC 1952) of data at the best compression; the same input always gives
// the same bytes (no time stamp), so every process serves the same body and ETag.
// Empty when compression fails.
QByteArray gzipCompress(const QByteArray &data);
// The inverse, for tests and tools; empty when data is not gzip.
QByteArray gzipDecompress(const QByteArray &data);
