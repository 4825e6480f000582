#pragma once

#include "Kestrowan/groups/AppItem.h"
#include "Kestrowan/icons/PictureView.h"

// An application's icon in a popup cell, whole and scaled to fit its frame. Icons are kept for the
// life of the process (the most recent few hundred) at the pixel size a cell draws them, keyed by
// the application's path and its modification time, so a popup shown again draws at once and a
// changed application is drawn anew. Other items show the shared item thumbnail view instead.
class PopupAppIconView : public PictureView {
    Q_OBJECT
public:
    explicit PopupAppIconView(const AppItem &app, QWidget *parent = nullptr);
    void setApp(const AppItem &app);

protected:
    QImage picture() override;
    Scaling scaling() const override { return Scaling::Fit; }

private:
    AppItem m_app;
};
