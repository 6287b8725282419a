#pragma once

#include <QString>
#include <memory>
#include <optional>

namespace pugi {
class xml_document;
}

struct ProductData {
    QString productType;
    QString productName;
    QString productCN;
    QString description;
    QString device;
};

// The product data of conf.xml: under root, the first element whose deviceId matches, and in it
// the first element named "产品信息" by its name attribute. Element names are not looked at.
class ProductCatalog {
public:
    // Nothing when the text does not parse.
    static std::optional<ProductCatalog> parse(const QString& confText);

    // Empty texts for a device without an entry or an attribute the entry lacks.
    ProductData find(const QString& deviceId) const;

private:
    std::shared_ptr<pugi::xml_document> m_document;
};
