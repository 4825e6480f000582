#pragma once

#include <QLineEdit>

// A borderless one-line field for typing a search into a bar that draws its own surface. Its
// placeholder starts a little after the text caret: an empty focused field shows the caret before
// the placeholder's first letter instead of drawn through it.
class SearchField final : public QLineEdit {
    Q_OBJECT
public:
    explicit SearchField(QWidget *parent = nullptr);

    // How far the placeholder's first letter stands right of the caret, in points.
    static constexpr int placeholderIndent = 3;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void hideOwnPlaceholder();
};
