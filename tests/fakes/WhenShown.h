#pragma once
// Drives a modal dialog from the test: the step runs once the dialog is up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <functional>

namespace mirvo::test {

// Runs `step` on the modal window of type T once it is up, looking again on
// each pass of the event loop until then. From a timer, not a posted call: a
// loop run inside a posted call does not deliver what workers post meanwhile.
template <class T>
void WhenShown(std::function<void(T&)> step, int passesLeft = 1000) {
    QTimer::singleShot(1, [step = std::move(step), passesLeft]() mutable {
        auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget());
        if (dialog == nullptr && passesLeft > 0) {
            WhenShown<T>(std::move(step), passesLeft - 1);
            return;
        }
        ASSERT_NE(dialog, nullptr);
        step(*dialog);
    });
}

}  // namespace mirvo::test
