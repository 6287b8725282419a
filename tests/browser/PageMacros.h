#pragma once

// Test-function shorthands for a test class whose BrowserFixture member is m_browser. Each
// fails the running test with the DevTools client's or the page's own error text.

#include <QString>
#include <QtTest>

#include "BrowserFixture.h"

// Evaluates the expression in the main page into a new QJsonValue named var.
#define EVAL(var, expression)                               \
    const QJsonValue var = m_browser->evaluate(expression); \
    QVERIFY2(m_browser->error().isEmpty(), qPrintable(m_browser->error()))

// Runs the expression in the main page for its effect.
#define RUN(expression)                                                         \
    do {                                                                        \
        m_browser->evaluate(expression);                                        \
        QVERIFY2(m_browser->error().isEmpty(), qPrintable(m_browser->error())); \
    } while (false)

#define WAIT_FOR(condition) QVERIFY2(m_browser->waitFor(condition), qPrintable(m_browser->error()))

// See BrowserFixture::sync().
#define SYNC() QVERIFY2(m_browser->sync(), qPrintable(m_browser->error()))

// The text as a JavaScript string literal, for building expressions.
inline QString js(const QString& text) {
    return BrowserFixture::jsString(text);
}
