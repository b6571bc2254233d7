#pragma once

// What the window and dialog tests share: the application over fake services, its data folder, and named children of a
// dialog.
#include "app/appfixture.h"
#include "model/category.h"

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
{
protected:
    // A category holding `members`: made in the running program's store, or on disk before it starts.
    std::int32_t MakeCategory(const std::string& name, const std::vector<std::int32_t>& members = {})
    {
        std::filesystem::create_directories(Data());
        model::TaskStore disk(Data());
        disk.Load();
        const std::int32_t id = (m_app ? m_app->Store() : disk).CreateCategory(name);
        model::Category category;
        category.SetId(id);
        EXPECT_TRUE(category.Load(Data()));
        for (const std::int32_t member : members) {
            category.AddTask(member);
        }
        EXPECT_TRUE(category.Save(Data()));
        return id;
    }
};

} // namespace kelmora::ui
