#pragma once
// Driving modal dialogs in window tests: offscreen no window manager
// activates them, so a test acts on the dialog once it is up.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

#include "ui/MainWindow.h"

namespace mirvo::test {

// Runs `step` on the modal window of type T once it is up, looking again on
// each pass of the event loop until then.
template <class T>
void WhenShown(std::function<void(T&)> step, int passesLeft = 1000) {
    QTimer::singleShot(0, [step = std::move(step), passesLeft]() mutable {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr && passesLeft > 0) {
            WhenShown<T>(std::move(step), passesLeft - 1);
            return;
        }
        ASSERT_NE(dialog, nullptr);
        step(*dialog);
    });
}

// A button pressed with the space bar, as the keyboard does once it is there.
inline void PressButton(QPushButton* button) {
    button->setFocus();
    QTest::keyClick(button, Qt::Key_Space);
}

// A key on the list, where the keyboard is after a dialog closes. Offscreen,
// no window manager hands the activation back when a dialog closes.
inline void KeyOnList(MainWindow& window, Qt::Key key,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    window.activateWindow();
    QApplication::processEvents();
    window.ListScreen->setFocus();
    QTest::keyClick(window.ListScreen, key, modifiers);
}

}  // namespace mirvo::test
