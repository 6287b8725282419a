#include "profiles/XmlDocument.h"

namespace XmlDocument {

namespace {

class ByteArrayWriter : public pugi::xml_writer {
public:
    explicit ByteArrayWriter(QByteArray* out) : m_out(out) {}
    void write(const void* data, size_t size) override {
        m_out->append(static_cast<const char*>(data), static_cast<qsizetype>(size));
    }

private:
    QByteArray* m_out;
};

pugi::xpath_query* compile(const QString& xpath, std::optional<pugi::xpath_query>* holder) {
    // The library reports an expression that does not compile by throwing.
    try {
        holder->emplace(xpath.toUtf8().constData());
    } catch (const pugi::xpath_exception&) {
        return nullptr;
    }
    return &holder->value();
}

}  // namespace

bool parseUtf8(const QByteArray& utf8, pugi::xml_document* document) {
    return document->load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()),
                                 pugi::parse_default, pugi::encoding_utf8);
}

bool parse(const QString& text, pugi::xml_document* document) {
    return parseUtf8(text.toUtf8(), document);
}

std::optional<pugi::xpath_node_set> selectAll(const pugi::xml_node& root, const QString& xpath) {
    std::optional<pugi::xpath_query> query;
    if (!compile(xpath, &query)) {
        return std::nullopt;
    }
    try {
        return root.select_nodes(*query);
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
}

std::optional<pugi::xpath_node> selectFirst(const pugi::xml_node& root, const QString& xpath) {
    std::optional<pugi::xpath_query> query;
    if (!compile(xpath, &query)) {
        return std::nullopt;
    }
    try {
        return root.select_node(*query);
    } catch (const pugi::xpath_exception&) {
        return std::nullopt;
    }
}

QByteArray serializeDocumentUtf8(const pugi::xml_document& document) {
    QByteArray out;
    ByteArrayWriter writer(&out);
    document.save(writer, "\t", pugi::format_default, pugi::encoding_utf8);
    return out;
}

QString serializeDocument(const pugi::xml_document& document) {
    return QString::fromUtf8(serializeDocumentUtf8(document));
}

QString serializeNode(const pugi::xml_node& node) {
    QByteArray out;
    ByteArrayWriter writer(&out);
    node.print(writer, "\t", pugi::format_default, pugi::encoding_utf8);
    return QString::fromUtf8(out);
}

}  // namespace XmlDocument
