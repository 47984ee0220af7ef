// Drives the real desktop program through a whole media recovery, as a user
// would: loaded into `pictora` with LD_PRELOAD, it starts with the
// application object and presses what a user presses, finding every control
// by the name a screen reader gives it (a picture button by its tooltip).
//
//   ZT_WIZARD_SOURCE  the raw image file, or the image-set folder, to recover from;
//                     or, as "disk:" and an image file, the disk (a loop device)
//                     whose model line names that file
//   ZT_WIZARD_SAVE    the folder to save into (twice: the second run answers
//                     the overwrite question with "Yes to All", after
//                     spoiling one of the files the first run saved)
//   ZT_WIZARD_LOG     where the steps are written as they pass
//
// The last step is Exit, so the program ends with status 0 only when every
// step passed; a step that does not come about in time ends it with status 3.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {

QString Env(const char* name) { return qEnvironmentVariable(name); }

void Note(const QString& text) {
    QFile log(Env("ZT_WIZARD_LOG"));
    if (log.open(QIODevice::Append)) log.write((text + QLatin1Char('\n')).toUtf8());
}

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

// The name a user (or a screen reader) knows the control by.
QString NameOf(QWidget* w) {
    if (!w->accessibleName().isEmpty()) return w->accessibleName();
    if (QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w); a != nullptr) {
        if (QString name = Plain(a->text(QAccessible::Name)); !name.isEmpty()) return name;
    }
    return w->toolTip();
}

// What the window in front holds, for the log of a failed step.
void NoteWindow() {
    QWidget* window = QApplication::activeModalWidget();
    if (window == nullptr) window = QApplication::activeWindow();
    if (window == nullptr) return;
    Note(QStringLiteral("  in front: ") + QString::fromLatin1(window->metaObject()->className()) + QStringLiteral(" \"") +
         window->windowTitle() + QLatin1Char('"'));
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!w->isVisible()) continue;
        const QString name = NameOf(w);
        if (!name.isEmpty()) {
            Note(QStringLiteral("    ") + QString::fromLatin1(w->metaObject()->className()) + QStringLiteral(": ") + name);
        }
    }
}

[[noreturn]] void Fail(const QString& why) {
    Note(QStringLiteral("FAILED: ") + why);
    NoteWindow();
    ::_exit(3);
}

// A visible control that can be used, by its name, in the window in front
// (within) or anywhere.
template <typename T = QWidget>
T* Find(const QString& name, QWidget* within = nullptr) {
    const QList<QWidget*> widgets = within != nullptr ? within->findChildren<QWidget*>() : QApplication::allWidgets();
    for (QWidget* w : widgets) {
        auto* t = qobject_cast<T*>(w);
        if (t != nullptr && w->isVisible() && w->isEnabled() && NameOf(w) == name) return t;
    }
    return nullptr;
}

// A label in within whose text holds text.
QLabel* FindText(const QString& text, QWidget* within) {
    for (QLabel* label : within->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text().contains(text)) return label;
    }
    return nullptr;
}

QWidget* Modal() { return QApplication::activeModalWidget(); }

bool Click(const QString& name, QWidget* within = nullptr) {
    auto* button = Find<QAbstractButton>(name, within);
    if (button == nullptr) return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

// A click that opens a modal dialog returns only when that dialog closes:
// such clicks are made from the event loop, so the driver goes on meanwhile.
void Later(QWidget* target, std::function<void()> act) { QTimer::singleShot(0, target, std::move(act)); }

bool ClickLater(const QString& name) {
    auto* button = Find<QAbstractButton>(name);
    if (button == nullptr) return false;
    Later(button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    return true;
}

QTreeWidgetItem* FindItem(QTreeWidget* tree, const std::function<bool(const QString&)>& match) {
    for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
        if (match((*it)->text(0))) return *it;
    }
    return nullptr;
}

// Clicks an item's text, as a user picks a row.
void ClickItemLater(QTreeWidget* tree, QTreeWidgetItem* item) {
    tree->scrollToItem(item);
    const QPoint at = tree->visualItemRect(item).center();
    Later(tree, [tree, at] { QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, at); });
}

// The file or folder browser in front: the folder that holds the path opened,
// the path's last name put into the name box, and Enter pressed. Not typed
// key by key, nor as a whole path: on a slow run the browser's completer and
// its folder listing, which fills in the background, rewrite the box.
bool ChooseInBrowser(const QString& title, const QString& path) {
    auto* browser = qobject_cast<QFileDialog*>(Modal());
    if (browser == nullptr || browser->windowTitle() != title) return false;
    auto* name = Find<QLineEdit>(QStringLiteral("File name:"), browser);
    if (name == nullptr) name = Find<QLineEdit>(QStringLiteral("Directory:"), browser);
    if (name == nullptr) return false;
    const QFileInfo target(path);
    browser->setDirectory(target.absolutePath());
    name->setFocus();
    name->setText(target.fileName());
    Later(name, [name] { QTest::keyClick(name, Qt::Key_Return); });
    return true;
}

class Driver : public QObject {
public:
    Driver() {
        AddSteps();
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, &Driver::Tick);
        m_timer.start();
        m_clock.start();
    }

private:
    struct Step {
        QString what;
        std::function<bool()> act;  // true once done; called again until then
        int timeoutMs = 20000;
    };

    void Tick() {
        if (m_busy || m_next >= m_steps.size()) return;
        const Step& step = m_steps[m_next];
        // A step may spin an event loop of its own (a click): no tick meanwhile.
        m_busy = true;
        const bool done = step.act();
        m_busy = false;
        if (done) {
            Note(QStringLiteral("ok: ") + step.what);
            ++m_next;
            m_clock.restart();
        } else if (m_clock.elapsed() > step.timeoutMs) {
            Fail(step.what + QStringLiteral(" (timed out)"));
        }
    }

    void Add(QString what, std::function<bool()> act, int timeoutMs = 20000) {
        m_steps.push_back({std::move(what), std::move(act), timeoutMs});
    }

    // A disk of the list, found by the model line of its information: each
    // disk is picked in turn until the one whose lines name the file shows.
    void AddDiskSteps(const QString& backingFile) {
        Add(QStringLiteral("source page: the disk of ") + backingFile, [this, backingFile] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Sources"));
            auto* info = Find<QTreeWidget>(QStringLiteral("Device Information"));
            if (tree == nullptr || info == nullptr || Modal() != tree->window()) return false;
            QTreeWidgetItem* group = FindItem(tree, [](const QString& text) { return text == QStringLiteral("Select Disk"); });
            if (group == nullptr || group->childCount() == 0) return false;
            QTreeWidgetItem* current = tree->currentItem();
            if (current != nullptr && current->parent() == group) {
                for (int i = 0; i < info->topLevelItemCount(); ++i) {
                    const QString line = info->topLevelItem(i)->text(0);
                    if (line.startsWith(QStringLiteral("Model")) && line.endsWith(QStringLiteral(": ") + backingFile)) {
                        return true;
                    }
                }
            }
            ClickItemLater(tree, group->child(m_nextDisk++ % group->childCount()));
            return false;
        });
    }

    void AddSourceSteps(const QString& source) {
        if (source.startsWith(QStringLiteral("disk:"))) {
            AddDiskSteps(source.mid(5));
        } else {
            AddImageSteps(source);
        }
        Add(QStringLiteral("source page: Next"), [] { return ClickLater(QStringLiteral("Next")); });
    }

    void AddImageSteps(const QString& source) {
        const bool folder = QFileInfo(source).isDir();
        // An image set is added through its group, a raw image file through the item under it.
        const QString opener = folder ? QStringLiteral("Select Image") : QStringLiteral("Open Disk Image File...");
        Add(QStringLiteral("source page: ") + opener, [opener] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Sources"));
            if (tree == nullptr || Modal() != tree->window()) return false;
            QTreeWidgetItem* item = FindItem(tree, [&](const QString& text) { return text == opener; });
            if (item == nullptr) return false;
            ClickItemLater(tree, item);
            return true;
        });
        const QString title = folder ? QStringLiteral("Select Folder of Image File") : QStringLiteral("Select Disk Image File");
        Add(QStringLiteral("source page: ") + source, [title, source] { return ChooseInBrowser(title, source); });
        Add(QStringLiteral("source page: the source described"), [] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Sources"));
            auto* info = Find<QTreeWidget>(QStringLiteral("Device Information"));
            if (tree == nullptr || info == nullptr || Modal() != tree->window() || tree->currentItem() == nullptr) {
                return false;
            }
            const QString chosen = tree->currentItem()->text(0);
            return chosen.startsWith(QLatin1Char('/')) && info->topLevelItemCount() > 1;
        });
    }

    void AddTypeSteps() {
        Add(QStringLiteral("type page: Select All"), [] {
            auto* all = Find<QCheckBox>(QStringLiteral("Select All"));
            if (all == nullptr || Modal() != all->window()) return false;
            if (!all->isChecked()) QTest::mouseClick(all, Qt::LeftButton, {}, QPoint(6, all->height() / 2));
            return all->isChecked();
        });
        Add(QStringLiteral("type page: Next"), [] { return ClickLater(QStringLiteral("Next")); });
    }

    void AddSaveSteps(const QString& save, bool second) {
        const QString run = second ? QStringLiteral("second save") : QStringLiteral("first save");
        if (second) {
            // A stale copy in the folder: "Yes to All" must replace it.
            Add(run + QStringLiteral(": a saved file spoilt"), [save] {
                QDirIterator saved(save, QDir::Files, QDirIterator::Subdirectories);
                if (!saved.hasNext()) return false;
                QFile file(saved.next());
                return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write("stale") == 5;
            });
        }
        Add(run + QStringLiteral(": Save"), [] {
            auto* button = Find<QAbstractButton>(QStringLiteral("Save"));
            return button != nullptr && Modal() == button->window() && ClickLater(QStringLiteral("Save"));
        });
        Add(run + QStringLiteral(": folder"), [save] {
            return ChooseInBrowser(QStringLiteral("Select Folder of Image File"), save);
        });
        if (second) {
            Add(run + QStringLiteral(": overwrite question"), [] {
                QWidget* prompt = Modal();
                if (prompt == nullptr || FindText(QStringLiteral("Would you like to replace the existing file ?"), prompt) == nullptr) {
                    return false;
                }
                return Click(QStringLiteral("Yes to All"), prompt);
            });
        }
        Add(run + QStringLiteral(": end message"), [] {
            QWidget* message = Modal();
            if (message == nullptr || FindText(QStringLiteral("File Saved Successfully."), message) == nullptr) return false;
            return Click(QStringLiteral("OK"), message);
        }, 60000);
    }

    void AddSteps() {
        const QString source = Env("ZT_WIZARD_SOURCE");
        const QString save = Env("ZT_WIZARD_SAVE");
        Add(QStringLiteral("main page"), [] { return Modal() != nullptr && ClickLater(QStringLiteral("Pictora")); });
        AddSourceSteps(source);
        AddTypeSteps();
        Add(QStringLiteral("scan to the end: results"), [] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Found file types"));
            if (tree == nullptr || Modal() != tree->window() || Find(QStringLiteral("Save"), tree->window()) == nullptr) {
                return false;
            }
            QTreeWidgetItem* root = tree->topLevelItem(0);
            return root != nullptr && root->childCount() > 0 && tree->currentItem() == root->child(0);
        }, 120000);
        Add(QStringLiteral("tick every found file"), [] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Found file types"));
            QTreeWidgetItem* root = tree->topLevelItem(0);
            const QRect box = tree->visualItemRect(root);
            // The check box sits before the item's icon and text.
            QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, QPoint(box.left() + 10, box.center().y()));
            return root->checkState(0) == Qt::Checked;
        });
        AddSaveSteps(save, false);
        AddSaveSteps(save, true);
        Add(QStringLiteral("Exit"), [] { return Modal() != nullptr && ClickLater(QStringLiteral("Exit")); });
        Add(QStringLiteral("confirm Exit"), [] {
            auto* box = qobject_cast<QMessageBox*>(Modal());
            if (box == nullptr || box->text() != QStringLiteral("Are you sure you want to exit?")) return false;
            return Click(QStringLiteral("OK"), box);
        });
    }

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    int m_nextDisk = 0;
    bool m_busy = false;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

void StartDriver() {
    if (Env("ZT_WIZARD_SOURCE").isEmpty()) return;
    // Whatever happens, the program does not outlive the test.
    QTimer::singleShot(300000, [] { Fail(QStringLiteral("the whole job took longer than five minutes")); });
    new Driver;
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
