#pragma once

#include <QByteArray>
#include <QString>

// Decodes a text file read as bytes the way a UTF-8 text stream in text mode would: a leading
// byte-order mark is dropped and CR LF line ends become LF.
QString decodeXmlFileText(const QByteArray& bytes);
