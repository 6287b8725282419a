#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <pugixml.hpp>

// The XML steps every profile edit shares: parse with the library's default options, select by
// XPath without letting an invalid expression escape as an exception, serialise in the default
// format.
namespace XmlDocument {

bool parse(const QString& text, pugi::xml_document* document);
bool parseUtf8(const QByteArray& utf8, pugi::xml_document* document);

// Every node the expression selects, in document order; nothing when it does not compile.
std::optional<pugi::xpath_node_set> selectAll(const pugi::xml_node& root, const QString& xpath);
// The first node in document order (empty when none); nothing when it does not compile.
std::optional<pugi::xpath_node> selectFirst(const pugi::xml_node& root, const QString& xpath);

// The whole document, preceded by the XML declaration, one tab of indentation per level.
QString serializeDocument(const pugi::xml_document& document);
QByteArray serializeDocumentUtf8(const pugi::xml_document& document);
// One node and its descendants, without a declaration.
QString serializeNode(const pugi::xml_node& node);

}  // namespace XmlDocument
