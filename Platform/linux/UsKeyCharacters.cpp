#include "Platform/linux/UsKeyCharacters.h"

#include <QHash>

std::optional<QString> UsKeyCharacters::charactersIgnoringModifiers(quint16 keyCode) const
{
    static const QHash<quint16, QString> characters{
        {0, QStringLiteral("a")}, {1, QStringLiteral("s")}, {2, QStringLiteral("d")}, {3, QStringLiteral("f")},
        {4, QStringLiteral("h")}, {5, QStringLiteral("g")}, {6, QStringLiteral("z")}, {7, QStringLiteral("x")},
        {8, QStringLiteral("c")}, {9, QStringLiteral("v")}, {10, QStringLiteral("§")}, {11, QStringLiteral("b")},
        {12, QStringLiteral("q")}, {13, QStringLiteral("w")}, {14, QStringLiteral("e")}, {15, QStringLiteral("r")},
        {16, QStringLiteral("y")}, {17, QStringLiteral("t")}, {18, QStringLiteral("1")}, {19, QStringLiteral("2")},
        {20, QStringLiteral("3")}, {21, QStringLiteral("4")}, {22, QStringLiteral("6")}, {23, QStringLiteral("5")},
        {24, QStringLiteral("=")}, {25, QStringLiteral("9")}, {26, QStringLiteral("7")}, {27, QStringLiteral("-")},
        {28, QStringLiteral("8")}, {29, QStringLiteral("0")}, {30, QStringLiteral("]")}, {31, QStringLiteral("o")},
        {32, QStringLiteral("u")}, {33, QStringLiteral("[")}, {34, QStringLiteral("i")}, {35, QStringLiteral("p")},
        {37, QStringLiteral("l")}, {38, QStringLiteral("j")}, {39, QStringLiteral("'")}, {40, QStringLiteral("k")},
        {41, QStringLiteral(";")}, {42, QStringLiteral("\\")}, {43, QStringLiteral(",")}, {44, QStringLiteral("/")},
        {45, QStringLiteral("n")}, {46, QStringLiteral("m")}, {47, QStringLiteral(".")}, {50, QStringLiteral("`")},
        {65, QStringLiteral(".")}, {67, QStringLiteral("*")}, {69, QStringLiteral("+")}, {75, QStringLiteral("/")},
        {78, QStringLiteral("-")}, {81, QStringLiteral("=")}, {82, QStringLiteral("0")}, {83, QStringLiteral("1")},
        {84, QStringLiteral("2")}, {85, QStringLiteral("3")}, {86, QStringLiteral("4")}, {87, QStringLiteral("5")},
        {88, QStringLiteral("6")}, {89, QStringLiteral("7")}, {91, QStringLiteral("8")}, {92, QStringLiteral("9")},
    };
    const auto found = characters.constFind(keyCode);
    if (found == characters.cend())
        return std::nullopt;
    return *found;
}
