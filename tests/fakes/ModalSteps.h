#pragma once
// Driving modal dialogs in window tests: offscreen no window manager
// activates them, so a test acts on the dialog once it is up.
#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "fakes/WhenShown.h"
#include "ui/MainWindow.h"

namespace mirvo::test {

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
