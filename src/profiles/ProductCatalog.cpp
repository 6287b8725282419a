#include "profiles/ProductCatalog.h"

#include "profiles/XmlDocument.h"

std::optional<ProductCatalog> ProductCatalog::parse(const QString& confText) {
    auto document = std::make_shared<pugi::xml_document>();
    if (!XmlDocument::parse(confText, document.get())) {
        return std::nullopt;
    }
    ProductCatalog catalog;
    catalog.m_document = std::move(document);
    return catalog;
}

ProductData ProductCatalog::find(const QString& deviceId) const {
    const QByteArray id = deviceId.toUtf8();
    const pugi::xml_node entry =
        m_document->child("root").find_child_by_attribute("deviceId", id.constData());
    const pugi::xml_node info = entry.find_child_by_attribute("name", "产品信息");
    const auto text = [&info](const char* name) {
        return QString::fromUtf8(info.attribute(name).value());
    };
    return {text("productType"), text("productName"), text("productCN"), text("description"),
            text("device")};
}
