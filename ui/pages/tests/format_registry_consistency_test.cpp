// The walked formats, the type list and the results page agree: every type a
// format walk can settle is a row the user can tick in extended mode, with a
// scan definition, and the results page previews it; no two families claim a
// type unless they are meant to share it.
#include <QTest>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/formats/registry.h"
#include "ui/pages/results_list.h"

using namespace zt;
using namespace zt::ui;

class FormatRegistryConsistencyTest : public QObject {
    Q_OBJECT

private slots:
    void everyWalkedTypeIsARowWithADefinitionAndAPreview();
    void typesAreClaimedByOneFamilyUnlessShared();
};

void FormatRegistryConsistencyTest::everyWalkedTypeIsARowWithADefinitionAndAPreview() {
    const std::span<const CatalogueRow> rows = CatalogueRows(SignatureMode::Extended);
    int types = 0;
    for (const FormatEntry& entry : FormatRegistry()) {
        for (std::string_view type : entry.types) {
            ++types;
            const QByteArray what = QByteArray(entry.name.data(), static_cast<qsizetype>(entry.name.size())) + ": " +
                                    QByteArray(type.data(), static_cast<qsizetype>(type.size()));
            QVERIFY2(std::any_of(rows.begin(), rows.end(), [&](const CatalogueRow& r) { return r.fileType == type; }),
                     what.constData());
            QVERIFY2(LookupDefinition(type, SignatureMode::Extended).has_value(), what.constData());
            // Shown always, or as this machine can (an image reader, the media backend).
            const QString name = QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size()));
            QVERIFY2(PreviewKindOf(type) != PreviewKind::None || ExtraPreviewTypeNames().contains(name),
                     what.constData());
        }
    }
    QVERIFY(types >= static_cast<int>(FormatRegistry().size()));
}

void FormatRegistryConsistencyTest::typesAreClaimedByOneFamilyUnlessShared() {
    // An MPEG elementary stream is typed as the program streams' row is.
    const std::map<std::string_view, std::set<FormatFamily>> shared{
        {"MPEG", {FormatFamily::MpegProgram, FormatFamily::MpegVideo}},
    };
    std::map<std::string_view, std::set<FormatFamily>> claims;
    for (const FormatEntry& entry : FormatRegistry()) {
        for (std::string_view type : entry.types) claims[type].insert(entry.family);
    }
    for (const auto& [type, families] : claims) {
        if (families.size() == 1) continue;
        const auto allowed = shared.find(type);
        QVERIFY2(allowed != shared.end() && allowed->second == families, std::string(type).c_str());
    }
    for (const auto& [type, families] : shared) QVERIFY(claims[type] == families);
}

QTEST_MAIN(FormatRegistryConsistencyTest)
#include "format_registry_consistency_test.moc"
