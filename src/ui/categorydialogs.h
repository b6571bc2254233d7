#pragma once

#include <QDialog>
#include <QString>

#include <cstdint>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace kelmora::app {
class CKelmoraApp;
}

namespace kelmora::ui {

// Asks for a category's name when a category is added or renamed. The name is taken as typed: empty
// names and names that another category already carries are accepted.
class CCategoryNameDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CCategoryNameDlg(QWidget* parent = nullptr);

    // Set before running the dialog to offer a name; read after OK.
    void SetName(const QString& name);
    QString Name() const;

private:
    QLineEdit* m_nameEdit;
};

// The Task Categories dialog, run modally: all categories, sorted by name, with "Add new...", "Rename..."
// and "Delete". Every change is stored at once; OK and Cancel only close the dialog, and the caller
// decides by the result whether to refill its own category choice.
class CCategoriesDlg final : public QDialog
{
    Q_OBJECT

public:
    explicit CCategoriesDlg(app::CKelmoraApp& app, QWidget* parent = nullptr);

private:
    // Rebuilds the list from the catalogue, selects `selectId` when it is listed, and tells the hub that
    // the categories may have changed.
    void FillList(std::int32_t selectId = -1);
    void OnAdd();
    void OnRename();
    void OnDelete();
    // Runs the Category dialog over `name`; true and the entered name on OK.
    bool AskName(QString& name);
    // The selected category's id, or -1 after telling the user with `text`.
    std::int32_t SelectedIdOrComplain(const QString& text);
    void StopCurrentTaskIfMemberOf(std::int32_t categoryId);

    app::CKelmoraApp& m_app;
    QListWidget* m_categoryList;
    QPushButton* m_addButton;
    QPushButton* m_renameButton;
    QPushButton* m_deleteButton;
};

} // namespace kelmora::ui
