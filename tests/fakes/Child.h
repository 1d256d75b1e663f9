#pragma once
// Reaches a part of a window by its object name, the way a test drives it.
#include <QObject>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace mirvo::test {

// Aborts with the name when there is none: a test that asks for a part
// cannot go on without it.
template <class T>
T* Child(const QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) {
        std::fprintf(stderr, "%s has no %s named \"%s\"\n", qPrintable(parent.objectName()),
                     T::staticMetaObject.className(), name);
        std::abort();
    }
    return child;
}

}  // namespace mirvo::test
