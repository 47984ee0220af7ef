// The walked formats, the type list and the results page agree: every type a
// format walk can settle is a row the user can tick in extended mode, with a
// scan definition, and the results page previews it; no two families claim a
// type unless they are meant to share it. Each row is one type, known by
// one value in either mode, whose traits its definition can honour and whose
// preview the page and the recovery side agree on.
#include <QTest>

#include <algorithm>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "core/scan/catalogue.h"
#include "core/scan/formats/registry.h"
#include "core/scan/type_selection.h"
#include "recovery/preview.h"
#include "ui/pages/results_list.h"

using namespace zt;
using namespace zt::ui;

class FormatRegistryConsistencyTest : public QObject {
    Q_OBJECT

private slots:
    void everyWalkedTypeIsARowWithADefinitionAndAPreview();
    void typesAreClaimedByOneFamilyUnlessShared();
    void everyRowIsOneTypeWhoseTraitsItsDefinitionHonours();
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
            QVERIFY2(PreviewKindOf(*FindType(type)) != PreviewKind::None || ExtraPreviewTypeNames().contains(name),
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

void FormatRegistryConsistencyTest::everyRowIsOneTypeWhoseTraitsItsDefinitionHonours() {
    const std::span<const CatalogueRow> rows = CatalogueRows(SignatureMode::Extended);
    const std::span<const CatalogueRow> standard = CatalogueRows(SignatureMode::Standard);
    QCOMPARE(AllTypes().size(), rows.size());
    const std::span<const std::string_view> fromStart = PreviewTypeNames();
    const QStringList extra = ExtraPreviewTypeNames();
    std::set<std::string_view> previewed;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const std::string_view name = rows[i].fileType;
        const QByteArray what(name.data(), static_cast<qsizetype>(name.size()));
        const TypeId type = static_cast<TypeId>(i);
        // One value per row, the same in both modes.
        QVERIFY2(FindType(name) == type && TypeName(type) == name, what.constData());
        if (i < standard.size()) QVERIFY2(standard[i].fileType == name, what.constData());
        const TypeTraits traits = TraitsOf(type);

        const std::optional<stExtInfo> d = LookupDefinition(name, SignatureMode::Extended);
        QVERIFY2(d.has_value() || name == "DIVX", what.constData());  // DIVX is a row without a scan
        if (d) {
            QVERIFY2(d->type == type, what.constData());
            // A length rule exactly where the header has a length field to read.
            QVERIFY2(d->HasSizeField() == (traits.lengthRule != LengthRule::None), what.constData());
            if (traits.trailingMarker || traits.footerFromHeader) QVERIFY2(d->footerCount > 0, what.constData());
        }

        // Shown from the start (and cleaned up by the recovery side), or shown
        // as this machine can (and cleaned up by the page), or not at all.
        const QString qname = QString::fromLatin1(what);
        const bool always = std::find(fromStart.begin(), fromStart.end(), name) != fromStart.end();
        QVERIFY2(always == (traits.shownBy == PreviewSource::FromStart), what.constData());
        QVERIFY2(always == (PreviewKindOf(type) != PreviewKind::None), what.constData());
        QVERIFY2(extra.contains(qname) == (!always && traits.shownBy != PreviewSource::None), what.constData());
        QVERIFY2((traits.shownBy == PreviewSource::ImageReader) == !traits.imageFormat.empty(), what.constData());
        if (traits.shownBy != PreviewSource::ImageReader) QVERIFY2(ShownPreviewKind(type) == traits.Preview(), what.constData());
        if (traits.shownBy == PreviewSource::CameraRaw) QVERIFY2(traits.medium == TypeMedium::Picture, what.constData());
        if (traits.shownBy != PreviewSource::None) previewed.insert(name);

        // Pictures and the rest keep different sizes by default.
        const std::int64_t kept = traits.medium == TypeMedium::Picture ? ExtendedPictureMaxSizeKB : ExtendedMediaMaxSizeKB;
        QVERIFY2(DefaultMaxSizeText(name, SignatureMode::Extended) == std::to_string(kept), what.constData());
    }
    QCOMPARE(static_cast<int>(fromStart.size() + static_cast<std::size_t>(extra.size())), static_cast<int>(previewed.size()));
    QVERIFY(!FindType("JPEG (1)").has_value() && TypeName(kNoType).empty());
}

QTEST_MAIN(FormatRegistryConsistencyTest)
#include "format_registry_consistency_test.moc"
