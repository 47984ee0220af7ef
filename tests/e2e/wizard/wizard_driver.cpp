// Drives the real desktop program through a whole media recovery, as a user
// would: loaded into `pictora` with LD_PRELOAD, it starts with the
// application object and presses what a user presses, finding every control
// by its accessible name (a picture button by its tooltip) or its text.
//
//   ZT_WIZARD_SOURCE  the raw image file or image-set folder to recover from
//   ZT_WIZARD_SAVE    the folder to save into (twice: the second run answers
//                     the overwrite question with "Y&es to All")
//   ZT_WIZARD_LOG     where the steps are written as they pass
//
// The last step is Exit, so the program ends with status 0 only when every
// step passed; a step that does not come about in time ends it with status 3.
#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <functional>
#include <unistd.h>

namespace {

QString Env(const char* name) { return qEnvironmentVariable(name); }

void Note(const QString& text) {
    QFile log(Env("ZT_WIZARD_LOG"));
    if (log.open(QIODevice::Append)) log.write((text + QLatin1Char('\n')).toUtf8());
}

[[noreturn]] void Fail(const QString& why) {
    Note(QStringLiteral("FAILED: ") + why);
    ::_exit(3);
}

QString Plain(QString text) { return text.remove(QLatin1Char('&')); }

// The name a user (or a screen reader) knows the control by.
QString NameOf(const QWidget* w) {
    if (!w->accessibleName().isEmpty()) return w->accessibleName();
    if (const auto* button = qobject_cast<const QAbstractButton*>(w); button != nullptr && !button->text().isEmpty()) {
        return Plain(button->text());
    }
    return w->toolTip();
}

template <typename T = QWidget>
T* Find(const QString& name, QWidget* within = nullptr) {
    const QList<QWidget*> widgets = within != nullptr ? within->findChildren<QWidget*>() : QApplication::allWidgets();
    for (QWidget* w : widgets) {
        auto* t = qobject_cast<T*>(w);
        if (t != nullptr && w->isVisible() && w->isEnabled() && NameOf(w) == name) return t;
    }
    return nullptr;
}

QDialog* Modal() { return qobject_cast<QDialog*>(QApplication::activeModalWidget()); }

bool Click(const QString& name, QWidget* within = nullptr) {
    auto* button = Find<QAbstractButton>(name, within);
    if (button == nullptr) return false;
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

// A message box with this text: answered with the named button.
bool Answer(const QString& text, const QString& button) {
    auto* box = qobject_cast<QMessageBox*>(Modal());
    if (box == nullptr || !box->text().contains(text)) return false;
    return Click(button, box);
}

QTreeWidgetItem* FindItem(QTreeWidget* tree, const std::function<bool(const QString&)>& match) {
    for (QTreeWidgetItemIterator it(tree); *it != nullptr; ++it) {
        if (match((*it)->text(0))) return *it;
    }
    return nullptr;
}

class Driver : public QObject {
public:
    struct Step {
        QString what;
        std::function<bool()> act;  // true once done; called again until then
        int timeoutMs = 20000;
    };

    Driver() {
        AddSteps();
        m_timer.setInterval(100);
        connect(&m_timer, &QTimer::timeout, this, &Driver::Tick);
        m_timer.start();
        m_clock.start();
    }

private:
    void Tick() {
        if (m_busy) return;
        if (m_next >= m_steps.size()) return;
        const Step& step = m_steps[m_next];
        // A step may open a modal dialog of its own; its loop ticks us again meanwhile.
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

    // Press a button in the modal dialog's loop: a click that opens a modal
    // dialog returns only when that dialog closes.
    static bool ClickLater(const QString& name) {
        auto* button = Find<QAbstractButton>(name);
        if (button == nullptr) return false;
        QTimer::singleShot(0, button, [button] { QTest::mouseClick(button, Qt::LeftButton); });
        return true;
    }

    void AddSaveSteps(const QString& save, bool second) {
        const QString run = second ? QStringLiteral("second save") : QStringLiteral("first save");
        Add(run + ": Save", [] { return ClickLater(QStringLiteral("Save")); });
        Add(run + ": folder browser", [save] {
            auto* browser = qobject_cast<QFileDialog*>(Modal());
            if (browser == nullptr) return false;
            browser->setDirectory(save);
            browser->selectFile(save);
            QTimer::singleShot(0, browser, [browser] { browser->accept(); });
            return true;
        });
        if (second) {
            Add(run + ": overwrite question", [] {
                QDialog* prompt = Modal();
                if (prompt == nullptr || Find(QStringLiteral("Would you like to replace the existing file ?"), prompt) == nullptr) {
                    return false;
                }
                return Click(QStringLiteral("Yes to All"), prompt);
            });
        }
        Add(run + ": end message", [] {
            QDialog* message = Modal();
            if (message == nullptr || Find(QStringLiteral("File Saved Successfully."), message) == nullptr) return false;
            return Click(QStringLiteral("OK"), message);
        }, 60000);
    }

    void AddSteps() {
        const QString source = Env("ZT_WIZARD_SOURCE");
        const QString save = Env("ZT_WIZARD_SAVE");
        Add(QStringLiteral("main page"), [] { return ClickLater(QStringLiteral("Pictora")); });
        AddSourceSteps(source);
        AddTypeSteps();
        Add(QStringLiteral("results"), [] {
            auto* tree = Find<QTreeWidget>(QStringLiteral("Found file types"));
            auto* save = Find<QAbstractButton>(QStringLiteral("Save"));
            if (tree == nullptr || save == nullptr || Modal() != nullptr) return false;
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
        Add(QStringLiteral("Exit"), [] { return ClickLater(QStringLiteral("Exit")); });
        Add(QStringLiteral("confirm Exit"), [] { return Answer(QStringLiteral("Are you sure you want to exit?"), "OK"); });
    }

    void AddSourceSteps(const QString& source);
    void AddTypeSteps();

    std::vector<Step> m_steps;
    std::size_t m_next = 0;
    bool m_busy = false;
    QTimer m_timer;
    QElapsedTimer m_clock;
};

void Driver::AddSourceSteps(const QString& source) {
    Add(QStringLiteral("source page: ") + source, [] { return false; });
}

void Driver::AddTypeSteps() {}

void StartDriver() {
    if (Env("ZT_WIZARD_SOURCE").isEmpty()) return;
    // Whatever happens, the program does not outlive the test.
    QTimer::singleShot(300000, [] { Fail(QStringLiteral("the whole job took longer than five minutes")); });
    new Driver;
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(StartDriver)
