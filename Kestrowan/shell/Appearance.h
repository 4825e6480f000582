#pragma once

#include <QObject>
#include <QPalette>

#include <optional>

// The look of every window of the program: the Fusion style with our own light or dark palette,
// set on the application so that all open windows change at once.
class Appearance final : public QObject {
    Q_OBJECT
public:
    static Appearance &shared();

    // A forced look (true: dark), or nullopt to follow the desktop's preference, asked afresh.
    // Changes the palette only when the look changes.
    void apply(std::optional<bool> forcedDark);
    std::optional<bool> forcedDark() const { return m_forcedDark; }
    // The look now on screen.
    bool isDark() const { return m_dark; }

    static QPalette lightPalette();
    static QPalette darkPalette();

signals:
    // After the application's palette changed; `dark` is the new look.
    void changed(bool dark);

private:
    Appearance() = default;

    std::optional<bool> m_forcedDark;
    bool m_dark = false;
    bool m_applied = false;
};
