#pragma once

class QFileDialog;

// Keeps every column of an open panel's detail list whole: the name column takes the room that is
// left, the size, kind and date columns are as wide as what they show, so the dates are never cut
// off at the panel's edge. Call once, before the panel is shown.
void keepOpenPanelColumnsWhole(QFileDialog *panel);

// Shows the panel's sizes, kinds and dates in the language chosen in the settings, as its other
// words are: Qt's own list says "Folder" untranslated and writes sizes and dates in the system's
// language. Call before
// keepOpenPanelColumnsWhole.
void localizeOpenPanel(QFileDialog *panel);
