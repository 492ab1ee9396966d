#pragma once

#include <QTest>

// A test whose environment is missing (a server, a tray host, a tool, shared data)
// skips on a developer's machine; in CI every half must run, so there it fails.
namespace norvale::test {
inline bool inCi()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}
} // namespace norvale::test

#define NORVALE_REQUIRE_ENVIRONMENT(missing)                                                                           \
    do {                                                                                                               \
        if (const QString missing_ = (missing); !missing_.isEmpty()) {                                                 \
            if (norvale::test::inCi())                                                                                 \
                QFAIL(qPrintable(QStringLiteral("CI=true, yet the environment lacks: ") + missing_));                  \
            QSKIP(qPrintable(missing_));                                                                               \
        }                                                                                                              \
    } while (false)
