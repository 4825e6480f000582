#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/PictureView.h"

// An application's icon in a popup cell, whole and scaled to fit its frame, at the pixel size the
// cell draws it (decoded out of the program and kept there, so a popup shown again draws at once).
// The generic application symbol stands in until the icon arrives. Other items show the shared
// item thumbnail view instead.
class PopupAppIconView : public PictureView {
    Q_OBJECT
public:
    explicit PopupAppIconView(const AppItem &app, QWidget *parent = nullptr);
    void setApp(const AppItem &app);
    // The pixels a side the icon is drawn with.
    int iconPixels() const;

protected:
    QImage picture() override;
    Scaling scaling() const override { return Scaling::Fit; }

private:
    AppItem m_app;
    bool m_pending = false;
};
