#pragma once

#include "NVLXDesign/DynamicColor.h"
#include "Kestrowan/shell/SymbolImage.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QVariantAnimation;
class TokenLabel;

// One of the program's symbols drawn in a colour token at a point size.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    SymbolView(const QString &name, qreal pointSize, const DynamicColor &color, QWidget *parent = nullptr,
               SymbolImage::Weight weight = SymbolImage::Weight::Regular);
    void setColor(const DynamicColor &color);
    QString symbolName() const { return m_name; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_name;
    qreal m_pointSize;
    DynamicColor m_color;
    SymbolImage::Weight m_weight;
};

// An on/off switch tinted with the brand accent, with the pointing hand over it.
class SettingsSwitch : public QAbstractButton {
    Q_OBJECT
public:
    explicit SettingsSwitch(QWidget *parent = nullptr);
    // Sets the position without reporting a change (the page showing a stored value).
    void setOn(bool on);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override;

private:
    QVariantAnimation *m_knob;
    qreal m_position = 0;
};

// A rounded card with a hairline outline and a soft shadow that holds a column of rows.
class SettingsCard : public QWidget {
    Q_OBJECT
public:
    explicit SettingsCard(QWidget *parent = nullptr);
    void addRow(QWidget *row);
    void addDivider();

protected:
    void paintEvent(QPaintEvent *event) override;
};

// A row of segments on a track, one selected (or none): the appearance and the click-behaviour
// choices of the settings page.
class SegmentedChoice : public QWidget {
    Q_OBJECT
public:
    struct Option {
        QString value;
        QString label;
        QString accessibleName;
    };
    SegmentedChoice(const QList<Option> &options, int horizontalPadding, QWidget *parent = nullptr);
    // The option whose value equals `value` exactly is selected; none when no value matches.
    void setSelected(const QString &value);
    QString selected() const { return m_selected; }
    QAbstractButton *segment(const QString &value) const;

signals:
    // Every press, also of the selected segment.
    void picked(const QString &value);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QList<QAbstractButton *> m_segments;
    QString m_selected;
};

// A pop-up choice drawn like the page's other controls: the chosen entry on a rounded track with
// an up-and-down chevron; the list that opens is the platform's.
class SettingsPopUpButton : public QComboBox {
    Q_OBJECT
public:
    explicit SettingsPopUpButton(QWidget *parent = nullptr);

    // Opens the choices as the kit's menu (not the style's square list) under the button, the
    // current one checked; choosing one sets it and reports it as `activated`.
    void showPopup() override;
    void hidePopup() override;
    // The menu while it is open.
    QMenu *openMenu() const { return m_menu; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QPointer<QMenu> m_menu;
};

// The header of a settings section: its symbol and its title in grey, 5 points apart.
QWidget *makeSettingsSectionHeader(const QString &symbol, const QString &title, QWidget *parent = nullptr);
// A title on the left and a switch on the right, for boolean settings.
QWidget *makeSettingsToggleRow(const QString &title, SettingsSwitch *toggle, QWidget *parent = nullptr);
