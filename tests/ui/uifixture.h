#pragma once

// What the window and dialog tests share: the application over fake services, its data folder, and named children of a
// dialog.
#include "app/appfixture.h"

#include <QComboBox>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace kelmora::ui {

template <typename Widget> Widget& ChildOf(const QWidget& parent, const char* name)
{
    auto* widget = parent.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) {
        ADD_FAILURE() << "no child " << name;
        std::abort();
    }
    return *widget;
}

inline QStringList ComboTexts(const QComboBox& combo)
{
    QStringList texts;
    for (int i = 0; i < combo.count(); ++i) {
        texts << combo.itemText(i);
    }
    return texts;
}

class UiTest : public app::AppTest
{};

} // namespace kelmora::ui
