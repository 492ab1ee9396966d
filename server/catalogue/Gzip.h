#pragma once

#include <QByteArray>

// The gzip form (RFC 1952) of data, by default at the best compression (for bodies made
// once and sent often; 1 is the fastest, for bodies made per request). The same input
// always gives the same bytes (no time stamp), so every process serves the same body and
// ETag. Empty when compression fails.
QByteArray gzipCompress(const QByteArray &data, int level = 9);
// The inverse, for tests and tools; empty when data is not gzip.
QByteArray gzipDecompress(const QByteArray &data);
