// zt-pages-gallery: draws the source page, the type page, the imaging page
// (ready and copying) and the bad-sector prompt into PNG files for the
// documentation. The pages run over a session of fakes: two cards and a
// disk that exist only in memory, so nothing real is listed or read.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "app/testing/test_session.h"
#include "core/source/device_registry.h"
#include "ui/base/message_box.h"
#include "ui/dialogs/CBadSectors.h"
#include "ui/pages/CExtensionInfoDlg.h"
#include "ui/pages/CImageCreationDlg.h"
#include "ui/pages/CPartitionInfoDlg.h"
#include "ui/shell/gallery_support.h"

namespace {

constexpr std::uint64_t GiB = 1ULL << 30;

}  // namespace

using zt::ui::gallery::Snap;

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const std::optional<zt::ui::gallery::Arguments> arguments = zt::ui::gallery::Start(app, argc, argv);
    if (!arguments) return 2;
    const zt::ui::ShellSettings& settings = arguments->settings;
    const QString& out = arguments->outputFolder;
    zt::ui::gallery::NoServices services;
    zt::testing::TestSession test;
    test.drives.drives = {{"sdb1", "/dev/sdb1", 16 * GiB, "vfat", "HOLIDAY", std::nullopt},
                          {"mmcblk0p1", "/dev/mmcblk0p1", 2 * GiB, "exfat", "", std::nullopt}};
    test.rawIo.AddPatternFile("/dev/sdb1", 16 * GiB, 1);
    test.launcher.onRun = [&test] {
        zt::StoreDeviceRegistry registry(test.store);
        const std::pair<const char*, const char*> values[] = {
            {zt::ModelKey.data(), "USB Card Reader"}, {zt::MediaTypeKey.data(), "Removable Media"},
            {zt::CylinderKey.data(), "1946"},         {zt::HeadKey.data(), "255"},
            {zt::SectorsPerTrackKey.data(), "63"},    {zt::SizeKey.data(), "16013942784"}};
        (void)registry.WriteValue(zt::DeviceRegistryKey, "Disk1", "/dev/sdb");
        for (const auto& [key, value] : values) (void)registry.WriteValue(key, "Disk1", value);
    };
    zt::ui::ShellContext context(test.session, settings, services, [] {});
    context.showSplash = false;
    bool ok = true;

    {
        zt::ui::CPartitionInfoDlg source(context, true);
        source.show();
        ok = QTest::qWaitFor([&source] { return source.Listed(); }, 5000);
        QTest::qWait(900);  // the please-wait box closes at its first look
        source.Select(source.FindItem("HOLIDAY (sdb1)"));
        ok = Snap(source, out + "/source-page.png") && ok;
    }
    {
        zt::ui::CExtensionInfoDlg types(context);
        for (int row : {0, 1, 4, 5, 14}) types.SetTicked(row, true);
        ok = Snap(types, out + "/type-page.png") && ok;
    }
    {
        zt::SourceDescriptor& descriptor = test.session.Source();
        descriptor.DeviceNames[0] = "/dev/sdb1";
        descriptor.RangeStart = 0;
        descriptor.RangeEnd = 31'250'000;
        const QString information = QStringLiteral(
            "Volume Name : HOLIDAY\r\nFile System : vfat\r\nCapacity : 16.0 GB\r\nUsed Space : Unknown\r\nFree Space : Unknown");
        zt::ui::CImageCreationDlg imaging(context, information, "Selected Logical Drive", "HOLIDAY (sdb1)");
        imaging.DestinationEdit()->setText("/dest");
        ok = Snap(imaging, out + "/imaging-page.png") && ok;
        imaging.MultifileBox()->setChecked(true);
        imaging.PressStart();
        QTest::qWait(2300);
        ok = Snap(imaging, out + "/imaging-running.png") && ok;
        zt::ui::SetMessageBoxHandler([](const zt::ui::MessageRequest&) { return zt::ui::MessageAnswer::Ok; });
        imaging.PressStop();
        ok = QTest::qWaitFor([&imaging] { return !imaging.Busy(); }, 5000) && ok;
    }
    {
        zt::ui::CBadSectors prompt(settings.skinFolder, settings.windowTitle);
        ok = Snap(prompt, out + "/bad-sectors.png") && ok;
    }
    return ok ? 0 : 1;
}
