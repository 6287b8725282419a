// Cost of a profile edit and a profile query at three document sizes, beside the XML library's
// own parse plus serialise of the same text measured in the same run.
#include "profiles/ProfileCommands.h"
#include "profiles/XmlDocument.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

// A profile shaped like the page's: modes holding keys with codes and names.
QByteArray makeProfile(int targetBytes) {
    QByteArray text = "<?xml version=\"1.0\"?>\n<profile>\n";
    int mode = 0;
    while (text.size() < targetBytes) {
        text += "\t<mode id=\"" + QByteArray::number(mode) + "\" name=\"Mode " +
                QByteArray::number(mode) + "\">\n";
        for (int key = 0; key < 20 && text.size() < targetBytes; ++key) {
            text += "\t\t<key id=\"" + QByteArray::number(key) +
                    "\" code=\"0x01,0x02,%,0x04\" name=\"Key " + QByteArray::number(key) +
                    "\" light=\"255,128,0\" />\n";
        }
        text += "\t</mode>\n";
        ++mode;
    }
    text += "</profile>\n";
    return text;
}

struct Stats {
    double median = 0;
    double p90 = 0;
};

Stats measure(int iterations, const std::function<void()>& run) {
    for (int i = 0; i < std::max(3, iterations / 10); ++i) {
        run();
    }
    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(iterations));
    QElapsedTimer timer;
    for (int i = 0; i < iterations; ++i) {
        timer.start();
        run();
        samples.push_back(static_cast<double>(timer.nsecsElapsed()) / 1000.0);
    }
    std::sort(samples.begin(), samples.end());
    return {samples[samples.size() / 2], samples[samples.size() * 9 / 10]};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QTextStream out(stdout);
    out << "size      parse+save(us)  modifyProfile(us) ratio  queryProfile(us) ratio  "
           "edit us/KB\n";
    QJsonArray results;
    volatile size_t sink = 0;

    for (int size : {10 * 1024, 100 * 1024, 1024 * 1024}) {
        const QByteArray text = makeProfile(size);
        const QString name = QStringLiteral("p%1.xml").arg(size);
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size()) {
            std::fprintf(stderr, "cannot write the fixture\n");
            return 1;
        }
        file.close();

        const int iterations = size >= 1024 * 1024 ? 40 : size >= 100 * 1024 ? 200 : 1000;
        const Stats baseline = measure(iterations, [&] {
            pugi::xml_document document;
            document.load_buffer(text.constData(), static_cast<size_t>(text.size()));
            sink = sink + static_cast<size_t>(XmlDocument::serializeDocumentUtf8(document).size());
        });

        ProfileCache cache;
        ProfileStore store(&cache, dir.path());
        ProfileCommands commands(&store);
        int value = 0;
        const Stats edit = measure(iterations, [&] {
            const QVariantMap members{{"filePath", name},
                                      {"xpath", "/profile/mode[3]/key[5]"},
                                      {"attribute", "light"},
                                      {"attributeValue", QString::number(++value)}};
            sink = sink + static_cast<size_t>(commands.modifyProfile(members).text.size());
        });
        const Stats query = measure(iterations, [&] {
            const QVariantMap members{{"filePath", name}, {"xpath", "/profile/mode[3]/key[5]"}};
            sink = sink + static_cast<size_t>(commands.queryProfile(members).text.size());
        });

        const double kb = text.size() / 1024.0;
        out << QStringLiteral("%1 KB").arg(kb, 7, 'f', 0) << "  "
            << QStringLiteral("%1").arg(baseline.median, 14, 'f', 1) << "  "
            << QStringLiteral("%1").arg(edit.median, 17, 'f', 1) << " "
            << QStringLiteral("%1").arg(edit.median / baseline.median, 5, 'f', 2) << "  "
            << QStringLiteral("%1").arg(query.median, 16, 'f', 1) << " "
            << QStringLiteral("%1").arg(query.median / baseline.median, 5, 'f', 2) << "  "
            << QStringLiteral("%1").arg(edit.median / kb, 10, 'f', 2) << "\n";
        results.append(QJsonObject{{"bytes", text.size()},
                                   {"parseSaveMedianUs", baseline.median},
                                   {"modifyMedianUs", edit.median},
                                   {"modifyP90Us", edit.p90},
                                   {"queryMedianUs", query.median},
                                   {"modifyRatio", edit.median / baseline.median},
                                   {"queryRatio", query.median / baseline.median}});
    }
    out << "targets: modifyProfile within 2x parse+save at every size; cost per KB flat\n";
    out << QJsonDocument(QJsonObject{{"benchmark", "profile_edits"}, {"results", results}})
               .toJson(QJsonDocument::Compact)
        << "\n";
    return 0;
}
