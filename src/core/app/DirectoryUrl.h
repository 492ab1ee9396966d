#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

using QueryItems = QList<QPair<QString, QString>>;

constexpr auto kDefaultDirectoryUrl = "http://127.0.0.1:8642/";

// The directory server's base URL: the environment (tests, a second server) wins over
// the INST.INI value, which wins over the default. Always ends in "/".
QUrl directoryBaseUrl(const QString &iniValue, const QString &environmentValue);

// base + path + "?" + key=value&...; every value is percent-encoded as UTF-8 so that a
// search for "R&B" or a stream URL holding "&" or "#" reaches the server whole.
QUrl directoryUrl(const QUrl &base, const QString &path, const QueryItems &query = {});
