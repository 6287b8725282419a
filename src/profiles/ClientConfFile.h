#pragma once

#include <QString>
#include <optional>

// The rule for changing one client setting in conf.xml: only an existing attribute of
// root/client changes, everything else passes through; the text comes back re-serialised in the
// default format (comments and the old declaration dropped).
namespace ClientConfFile {

// The new file text, or nothing when the current text does not parse.
std::optional<QString> withSetting(const QString& confText, const QString& key,
                                   const QString& value);

}  // namespace ClientConfFile
