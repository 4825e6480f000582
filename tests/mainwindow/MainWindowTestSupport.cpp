#include "tests/mainwindow/MainWindowTestSupport.h"

#include "Kestrowan/shell/Appearance.h"
#include "NVLXDesign/SystemFont.h"

#include <QApplication>
#include <QStyleFactory>
#include <QTest>

void clickWidget(QWidget *widget, QPoint at)
{
    if (at == QPoint(-1, -1))
        at = widget->rect().center();
    QTest::mouseMove(widget, at);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void applyLook(bool dark, const QString &language)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(dark ? Appearance::darkPalette() : Appearance::lightPalette());
    SystemFont::applyToApplication(language);
}
