#pragma once

#include "BenchResults.h"

#include <QByteArray>
#include <QString>

// The benchmark's output: a table for people, then one JSON line for tools.
namespace BenchReport {

QString table(const BenchResults& results);
QByteArray jsonLine(const BenchResults& results);

}  // namespace BenchReport
