// For the widget tests: what a screen reader, or a test driving the program
// through the accessibility bus, would not find by name in a window.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QScrollBar>
#include <QStringList>
#include <QTextEdit>
#include <QWidget>

namespace zt::ui {

inline QString AccessibleNameOf(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face != nullptr ? face->text(QAccessible::Name) : QString();
}

// The controls of the window, shown or not: buttons, check boxes, edits,
// lists and trees, bars, sliders, and pictures. Parts that belong to another
// control (a view's scroll bars and editors, the menu bar's overflow button)
// are that control's own.
inline QList<QWidget*> ControlsOf(QWidget* window) {
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        bool inner = qobject_cast<QScrollBar*>(w) != nullptr;
        for (QWidget* up = w->parentWidget(); up != nullptr && up != window && !inner; up = up->parentWidget()) {
            inner = qobject_cast<QAbstractItemView*>(up) != nullptr || qobject_cast<QComboBox*>(up) != nullptr ||
                    qobject_cast<QMenuBar*>(up) != nullptr;
        }
        if (inner) continue;
        auto* label = qobject_cast<QLabel*>(w);
        const bool picture = label != nullptr && label->text().isEmpty() && !label->pixmap().isNull();
        if (qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractItemView*>(w) ||
            qobject_cast<QProgressBar*>(w) || qobject_cast<QAbstractSlider*>(w) || qobject_cast<QComboBox*>(w) ||
            qobject_cast<QTextEdit*>(w) || qobject_cast<QPlainTextEdit*>(w) || picture) {
            controls << w;
        }
    }
    return controls;
}

// One line per control without an accessible name.
inline QStringList AccessibleNameProblems(QWidget* window) {
    QStringList problems;
    for (QWidget* control : ControlsOf(window)) {
        if (AccessibleNameOf(control).trimmed().isEmpty()) {
            problems << QStringLiteral("unnamed %1 at (%2, %3)")
                            .arg(QString::fromLatin1(control->metaObject()->className()))
                            .arg(control->x())
                            .arg(control->y());
        }
    }
    return problems;
}

}  // namespace zt::ui

// Fails the Qt test with every problem named.
#define ZT_VERIFY_ACCESSIBLE_NAMES(window)                                        \
    do {                                                                          \
        const QStringList zt_problems = zt::ui::AccessibleNameProblems(window);   \
        QVERIFY2(zt_problems.isEmpty(), qPrintable(zt_problems.join(u"; ")));     \
    } while (false)
