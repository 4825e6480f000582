#pragma once

#include "Kestrowan/editor/OpenerRulesEditor.h"

#include <QDialog>
#include <optional>

class QLineEdit;
class QListWidget;
class NVLXButton;

// The system's application chooser on this platform: a sheet over the window listing the
// applications that open the file type first, then every other application, with a search field
// and "Other…" for an application elsewhere on disk. One application can be chosen.
class ApplicationChooserDialog : public QDialog {
    Q_OBJECT
public:
    // `forWhat` names what the application will open (".pdf", an item's name); `extension` picks
    // the suggested applications.
    ApplicationChooserDialog(const QString &forWhat, const QString &extension, QWidget *parent = nullptr);

    std::optional<QString> chosenPath() const { return m_chosen; }
    QListWidget *list() const { return m_list; }
    QLineEdit *searchField() const { return m_search; }
    // The paths listed now, in order (section titles left out).
    QStringList listedPaths() const;

    // A chooser for OpenerRulesEditor that shows this dialog over `parent`, window-modal.
    static OpenerRulesEditor::ApplicationChooser chooser(QWidget *parent);

private:
    void fill(const QString &filter);
    void chooseSelected();
    void chooseOther();

    QString m_extension;
    QLineEdit *m_search;
    QListWidget *m_list;
    NVLXButton *m_choose;
    std::optional<QString> m_chosen;
};
