#pragma once

#include "Kestrowan/editor/OpenerRulesEditor.h"

#include <QWidget>

class QVBoxLayout;
class SurfaceFrame;
class TokenLabel;
class PointerPlainButton;

// The chip of an extension row: the opening application's icon and name (in the muted style when it
// is only the system's default), or "No app", with the up-down chevron that says it can be changed.
class OpenerChip : public QWidget {
    Q_OBJECT
public:
    explicit OpenerChip(QWidget *parent = nullptr);
    void setApplication(const std::optional<QString> &path, bool isCustom);
    QString shownName() const { return m_name; }
    bool isCustom() const { return m_custom; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont nameFont() const;

    std::optional<QString> m_path;
    QString m_name;
    bool m_custom = false;
};

// The editor's opener section, under the item grid: one row per extension of the group's files and
// folders with the application that opens it, a clear button per custom row and one for all.
// Hidden while the group holds only applications.
class OpenerSection : public QWidget {
    Q_OBJECT
public:
    explicit OpenerSection(OpenerRulesEditor *editor, QWidget *parent = nullptr);

    QStringList shownExtensions() const { return m_shownExtensions; }
    OpenerChip *chip(const QString &extension) const;
    PointerPlainButton *clearButton(const QString &extension) const;
    PointerPlainButton *clearAllButton() const { return m_clearAll; }
    PointerPlainButton *chipButton(const QString &extension) const;

private:
    void rebuild();

    OpenerRulesEditor *m_editor;
    PointerPlainButton *m_clearAll;
    SurfaceFrame *m_box;
    QVBoxLayout *m_rows;
    QStringList m_shownExtensions;
    QList<OpenerRulesEditor::ExtensionRow> m_shownRows;
};
