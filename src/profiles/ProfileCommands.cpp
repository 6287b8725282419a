#include "profiles/ProfileCommands.h"

#include "profiles/ExportFile.h"
#include "profiles/ProfilesLog.h"
#include "profiles/XmlDocument.h"

#include <functional>
#include <unordered_set>
#include <vector>

namespace {

const QString kQueryFailed = QStringLiteral("queryProfile load xml file failed!");
const QString kCounterFailed = QStringLiteral("nodeCounterProfile load xml file failed!");
const QString kModifyFailed = QStringLiteral("modifyProfile load xml file failed!");
const QString kModifyExFailed = QStringLiteral("modifyProfileEx load xml file failed!");
const QString kReplaceFailed = QStringLiteral("modifyReplaceProfile load xml file failed!");
const QString kSaveAsFailed = QStringLiteral("saveXmlAs load xml file failed!");
const QString kSaveAsWriteFailed = QStringLiteral("saveXmlAs desFilePath is failed!");

QString member(const QVariantMap& members, const char* name) {
    return members.value(QLatin1String(name)).toString();
}

// A profile named by the page: its absolute path and parsed document.
struct LoadedProfile {
    enum class Status { Unreadable, Unparsable, Ready };
    Status status = Status::Unreadable;
    QString path;
    pugi::xml_document document;
};

void loadProfile(ProfileStore* store, const QString& path, LoadedProfile* profile) {
    profile->path = path;
    const std::optional<QString> text = store->load(path);
    if (!text) {
        profile->status = LoadedProfile::Status::Unreadable;
        return;
    }
    profile->status = XmlDocument::parse(*text, &profile->document)
                          ? LoadedProfile::Status::Ready
                          : LoadedProfile::Status::Unparsable;
}

// What an unready profile answers: nothing for a file that cannot be read, the command's failure
// for a text that does not parse.
CommandReply notReady(const LoadedProfile& profile, const QString& failure) {
    return profile.status == LoadedProfile::Status::Unreadable ? CommandReply::none()
                                                               : CommandReply::failure(failure);
}

// The selected elements that are not inside another selected element. Emptying or removing an
// element frees its descendants, so a selected descendant must not be touched afterwards.
std::vector<pugi::xml_node> outermostElements(const pugi::xpath_node_set& selected) {
    std::unordered_set<pugi::xml_node_struct*> chosen;
    for (const pugi::xpath_node& result : selected) {
        if (result.node()) {
            chosen.insert(result.node().internal_object());
        }
    }
    std::vector<pugi::xml_node> outermost;
    for (const pugi::xpath_node& result : selected) {
        const pugi::xml_node element = result.node();
        if (!element) {
            continue;
        }
        bool nested = false;
        for (pugi::xml_node up = element.parent(); up && !nested; up = up.parent()) {
            nested = chosen.count(up.internal_object()) > 0;
        }
        if (!nested) {
            outermost.push_back(element);
        }
    }
    return outermost;
}

// Loads the profile named by the member pathMember, selects with its "xpath" member and runs
// work on the selection. An unreadable file ends the command without an answer; a text that does
// not parse, or an XPath that does not compile, ends it with failure.
template <typename Selection>
CommandReply withSelection(
    ProfileStore* store, const QVariantMap& members, const char* pathMember, const QString& failure,
    std::optional<Selection> (*select)(const pugi::xml_node&, const QString&),
    const std::function<CommandReply(LoadedProfile&, const Selection&)>& work) {
    LoadedProfile profile;
    loadProfile(store, store->absolutePath(member(members, pathMember)), &profile);
    if (profile.status != LoadedProfile::Status::Ready) {
        return notReady(profile, failure);
    }
    const std::optional<Selection> selected = select(profile.document, member(members, "xpath"));
    if (!selected) {
        return CommandReply::failure(failure);
    }
    return work(profile, *selected);
}

CommandReply withAllSelected(
    ProfileStore* store, const QVariantMap& members, const char* pathMember, const QString& failure,
    const std::function<CommandReply(LoadedProfile&, const pugi::xpath_node_set&)>& work) {
    return withSelection(store, members, pathMember, failure, &XmlDocument::selectAll, work);
}

CommandReply withFirstSelected(
    ProfileStore* store, const QVariantMap& members, const char* pathMember, const QString& failure,
    const std::function<CommandReply(LoadedProfile&, const pugi::xpath_node&)>& work) {
    return withSelection(store, members, pathMember, failure, &XmlDocument::selectFirst, work);
}

void removeAllChildren(pugi::xml_node node) {
    while (pugi::xml_node child = node.first_child()) {
        node.remove_child(child);
    }
}

void appendCopiesOfChildren(pugi::xml_node target, const pugi::xml_node& source) {
    for (const pugi::xml_node& child : source.children()) {
        target.append_copy(child);
    }
}

}  // namespace

const QVector<ProfileCommands::Command>& ProfileCommands::commands() {
    static const QVector<Command> table = {
        {QStringLiteral("queryProfile"), {"filePath", "xpath"}, &ProfileCommands::queryProfile},
        {QStringLiteral("nodeCounterProfile"),
         {"filePath", "xpath"},
         &ProfileCommands::nodeCounterProfile},
        {QStringLiteral("modifyProfile"),
         {"filePath", "xpath", "attribute", "attributeValue"},
         &ProfileCommands::modifyProfile},
        {QStringLiteral("modifyProfileEx"),
         {"filePath", "xpath", "subTreeString"},
         &ProfileCommands::modifyProfileEx},
        {QStringLiteral("modifyRemoveProfile"),
         {"filePath", "xpath"},
         &ProfileCommands::modifyRemoveProfile},
        {QStringLiteral("modifyAddProfile"),
         {"filePath", "xpath", "attribute", "attributeValue"},
         &ProfileCommands::modifyAddProfile},
        {QStringLiteral("modifyReplaceProfile"),
         {"srcFilePath", "desFilePath", "srcXpath", "desXpath"},
         &ProfileCommands::modifyReplaceProfile},
        {QStringLiteral("modifyReplaceProfileEx"),
         {"srcFilePath", "desFilePath", "srcXpath", "desXpath"},
         &ProfileCommands::modifyReplaceProfileEx},
        {QStringLiteral("resetProfile"),
         {"srcFilePath", "desFilePath"},
         &ProfileCommands::resetProfile},
        {QStringLiteral("queryHexByte"),
         {"filePath", "xpath", "args"},
         &ProfileCommands::queryHexByte},
        {QStringLiteral("savexml"), {}, &ProfileCommands::savexml},
        {QStringLiteral("saveXmlAs"),
         {"srcFilePath", "desFilePath", "xpath"},
         &ProfileCommands::saveXmlAs},
    };
    return table;
}

CommandReply ProfileCommands::queryProfile(const QVariantMap& members) {
    return withAllSelected(m_store, members, "filePath", kQueryFailed,
                           [](LoadedProfile&, const pugi::xpath_node_set& selected) {
                               QString output;
                               for (const pugi::xpath_node& result : selected) {
                                   if (result.node()) {
                                       output += XmlDocument::serializeNode(result.node());
                                   }
                               }
                               return CommandReply::success(output);
                           });
}

CommandReply ProfileCommands::nodeCounterProfile(const QVariantMap& members) {
    return withFirstSelected(m_store, members, "filePath", kCounterFailed,
                             [](LoadedProfile&, const pugi::xpath_node& selected) {
                                 int count = 0;
                                 for (pugi::xml_node child = selected.node().first_child(); child;
                                      child = child.next_sibling()) {
                                     ++count;
                                 }
                                 return CommandReply::success(QString::number(count));
                             });
}

CommandReply ProfileCommands::modifyProfile(const QVariantMap& members) {
    const QStringList names = member(members, "attribute").split(';', Qt::SkipEmptyParts);
    const QStringList values = member(members, "attributeValue").split(';', Qt::KeepEmptyParts);
    QVector<QByteArray> utf8Names, utf8Values;
    for (int i = 0; i < names.size() && i < values.size(); ++i) {
        utf8Names.append(names.at(i).toUtf8());
        utf8Values.append(values.at(i).toUtf8());
    }
    return withAllSelected(
        m_store, members, "filePath", kModifyFailed,
        [&](LoadedProfile& profile, const pugi::xpath_node_set& selected) {
            for (const pugi::xpath_node& result : selected) {
                pugi::xml_node element = result.node();
                for (int i = 0; element && i < utf8Names.size(); ++i) {
                    if (pugi::xml_attribute attribute =
                            element.attribute(utf8Names.at(i).constData())) {
                        attribute.set_value(utf8Values.at(i).constData());
                    }
                }
            }
            m_store->store(profile.path, profile.document);
            return CommandReply::success(QStringLiteral("modifyProfile success!"));
        });
}

CommandReply ProfileCommands::modifyProfileEx(const QVariantMap& members) {
    if (!m_store->load(m_store->absolutePath(member(members, "filePath")))) {
        return CommandReply::none();
    }
    // A sub-tree that is not well-formed is used as far as the parser got.
    pugi::xml_document subTree;
    XmlDocument::parse(member(members, "subTreeString"), &subTree);
    return withAllSelected(
        m_store, members, "filePath", kModifyExFailed,
        [&](LoadedProfile& profile, const pugi::xpath_node_set& selected) {
            for (pugi::xml_node element : outermostElements(selected)) {
                removeAllChildren(element);
                appendCopiesOfChildren(element, subTree);
            }
            m_store->store(profile.path, profile.document);
            return CommandReply::success(QStringLiteral("modifyProfileEx success"));
        });
}

CommandReply ProfileCommands::modifyRemoveProfile(const QVariantMap& members) {
    return withAllSelected(
        m_store, members, "filePath", kModifyFailed,
        [&](LoadedProfile& profile, const pugi::xpath_node_set& selected) {
            for (pugi::xml_node element : outermostElements(selected)) {
                element.parent().remove_child(element);
            }
            m_store->store(profile.path, profile.document);
            return CommandReply::success(QStringLiteral("modifyRemoveProfile success"));
        });
}

CommandReply ProfileCommands::modifyAddProfile(const QVariantMap& members) {
    const QStringList names = member(members, "attribute").split(';', Qt::SkipEmptyParts);
    const QStringList values = member(members, "attributeValue").split(';', Qt::SkipEmptyParts);
    const QByteArray nodeName = member(members, "addNodeName").toUtf8();
    return withAllSelected(
        m_store, members, "filePath", kModifyFailed,
        [&](LoadedProfile& profile, const pugi::xpath_node_set& selected) {
            for (const pugi::xpath_node& result : selected) {
                pugi::xml_node element = result.node();
                if (!element) {
                    continue;
                }
                pugi::xml_node added = element.append_child(nodeName.constData());
                for (int i = 0; i < names.size() && i < values.size(); ++i) {
                    added.append_attribute(names.at(i).toUtf8().constData())
                        .set_value(values.at(i).toUtf8().constData());
                }
            }
            m_store->store(profile.path, profile.document);
            return CommandReply::success(QStringLiteral("modifyAddProfile success"));
        });
}

CommandReply ProfileCommands::modifyReplaceProfile(const QVariantMap& members) {
    const QString sourcePath = m_store->absolutePath(member(members, "srcFilePath"));
    const QString destinationPath = m_store->absolutePath(member(members, "desFilePath"));
    if (!m_store->load(sourcePath) || !m_store->load(destinationPath)) {
        return CommandReply::none();
    }
    LoadedProfile destination, source;
    loadProfile(m_store, destinationPath, &destination);
    loadProfile(m_store, sourcePath, &source);
    if (destination.status != LoadedProfile::Status::Ready ||
        source.status != LoadedProfile::Status::Ready) {
        return CommandReply::failure(kReplaceFailed);
    }
    const auto sourceNode = XmlDocument::selectFirst(source.document, member(members, "srcXpath"));
    const auto destinationNode =
        XmlDocument::selectFirst(destination.document, member(members, "desXpath"));
    if (!sourceNode || !destinationNode) {
        return CommandReply::failure(kReplaceFailed);
    }
    const pugi::xml_node replacement = sourceNode->node();
    pugi::xml_node target = destinationNode->node();
    if (target) {
        pugi::xml_node parent = target.parent();
        pugi::xml_node previous = target.previous_sibling();
        parent.remove_child(target);
        if (replacement) {
            if (previous) {
                parent.insert_copy_after(replacement, previous);
            } else {
                parent.prepend_copy(replacement);
            }
        }
    }
    m_store->store(destination.path, destination.document);
    return CommandReply::success(QStringLiteral("modifyReplaceProfile success"));
}

CommandReply ProfileCommands::modifyReplaceProfileEx(const QVariantMap& members) {
    LoadedProfile destination;
    loadProfile(m_store, m_store->absolutePath(member(members, "desFilePath")), &destination);
    if (destination.status != LoadedProfile::Status::Ready) {
        return notReady(destination, kReplaceFailed);
    }
    const std::optional<QByteArray> xml = ExportFile::read(member(members, "srcFilePath"));
    pugi::xml_document imported;
    if (!xml || !XmlDocument::parseUtf8(*xml, &imported)) {
        return CommandReply::failure(kReplaceFailed);
    }
    const auto destinationNode =
        XmlDocument::selectFirst(destination.document, member(members, "desXpath"));
    if (!destinationNode) {
        return CommandReply::failure(kReplaceFailed);
    }
    if (pugi::xml_node target = destinationNode->node()) {
        removeAllChildren(target);
        appendCopiesOfChildren(target, imported.first_child());
    }
    m_store->store(destination.path, destination.document);
    return CommandReply::success(QStringLiteral("modifyReplaceProfile success"));
}

CommandReply ProfileCommands::resetProfile(const QVariantMap& members) {
    const std::optional<QString> source =
        m_store->load(m_store->absolutePath(member(members, "srcFilePath")));
    if (!source) {
        return CommandReply::none();
    }
    const QString destinationPath = m_store->absolutePath(member(members, "desFilePath"));
    if (!m_store->load(destinationPath)) {
        return CommandReply::none();
    }
    m_store->storeText(destinationPath, *source);
    return CommandReply::success(QStringLiteral("resetProfile success"));
}

QString ProfileCommands::fillHexCode(const QString& code, const QString& args) {
    if (!code.contains(QLatin1Char('%'))) {
        return code;
    }
    const QStringList arguments = args.split(QLatin1Char(','), Qt::SkipEmptyParts);
    QStringList fields = code.split(QLatin1Char(','), Qt::KeepEmptyParts);
    int next = 0;
    for (int i = 0; i < 4 && i < fields.size() && next < arguments.size(); ++i) {
        if (fields.at(i) == QLatin1String("%")) {
            fields[i] = arguments.at(next++);
        }
    }
    return fields.join(QLatin1Char(','));
}

CommandReply ProfileCommands::queryHexByte(const QVariantMap& members) {
    return withFirstSelected(
        m_store, members, "filePath", kModifyFailed,
        [&members](LoadedProfile&, const pugi::xpath_node& selected) {
            const QString code = QString::fromUtf8(selected.node().attribute("code").value());
            return CommandReply::success(fillHexCode(code, member(members, "args")));
        });
}

CommandReply ProfileCommands::savexml(const QVariantMap& members) {
    Q_UNUSED(members);
    ProfileCache& cache = m_store->cache();
    if (cache.isEmpty()) {
        return CommandReply::none();
    }
    const FlushResult result = cache.flush();
    if (!result.ok) {
        return CommandReply::none();
    }
    return CommandReply::success(QStringLiteral("save xml success"));
}

CommandReply ProfileCommands::saveXmlAs(const QVariantMap& members) {
    return withFirstSelected(
        m_store, members, "srcFilePath", kSaveAsFailed,
        [&members](LoadedProfile&, const pugi::xpath_node& selected) {
            pugi::xml_document exported;
            if (selected.node()) {
                exported.append_copy(selected.node());
            }
            QString error;
            if (!ExportFile::write(member(members, "desFilePath"),
                                   XmlDocument::serializeDocumentUtf8(exported), &error)) {
                qCWarning(lcProfiles) << error;
                return CommandReply::failure(kSaveAsWriteFailed);
            }
            return CommandReply::success(QStringLiteral("saveXmlAs success"));
        });
}
