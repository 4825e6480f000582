#include "Kestrowan/groups/ShortcutKeyTable.h"

#include "Platform/KeyCharacters.h"

#include <QHash>

namespace {

const QHash<quint16, QString> &namedKeys()
{
    static const QHash<quint16, QString> names{
        {0, QStringLiteral("A")}, {1, QStringLiteral("S")}, {2, QStringLiteral("D")}, {3, QStringLiteral("F")},
        {4, QStringLiteral("H")}, {5, QStringLiteral("G")}, {6, QStringLiteral("Z")}, {7, QStringLiteral("X")},
        {8, QStringLiteral("C")}, {9, QStringLiteral("V")}, {11, QStringLiteral("B")}, {12, QStringLiteral("Q")},
        {13, QStringLiteral("W")}, {14, QStringLiteral("E")}, {15, QStringLiteral("R")}, {16, QStringLiteral("Y")},
        {17, QStringLiteral("T")}, {18, QStringLiteral("1")}, {19, QStringLiteral("2")}, {20, QStringLiteral("3")},
        {21, QStringLiteral("4")}, {22, QStringLiteral("6")}, {23, QStringLiteral("5")}, {25, QStringLiteral("9")},
        {26, QStringLiteral("7")}, {28, QStringLiteral("8")}, {29, QStringLiteral("0")}, {31, QStringLiteral("O")},
        {32, QStringLiteral("U")}, {34, QStringLiteral("I")}, {35, QStringLiteral("P")}, {36, QStringLiteral("Return")},
        {37, QStringLiteral("L")}, {38, QStringLiteral("J")}, {40, QStringLiteral("K")}, {45, QStringLiteral("N")},
        {46, QStringLiteral("M")}, {48, QStringLiteral("Tab")}, {49, QStringLiteral("Space")}, {51, QStringLiteral("Delete")},
        {53, QStringLiteral("Esc")}, {123, QStringLiteral("←")}, {124, QStringLiteral("→")}, {125, QStringLiteral("↓")},
        {126, QStringLiteral("↑")},
    };
    return names;
}

} // namespace

QString keyNameForKeyCode(quint16 keyCode)
{
    const auto named = namedKeys().constFind(keyCode);
    if (named != namedKeys().cend())
        return *named;
    // An empty text would leave a shortcut shown as "Ctrl + " with no key at all.
    const std::optional<QString> characters = KeyCharacters::shared().charactersIgnoringModifiers(keyCode);
    if (characters && !characters->isEmpty())
        return characters->toUpper();
    return QStringLiteral("Key") + QString::number(keyCode);
}
