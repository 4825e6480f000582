#pragma once

#include <QString>
#include <QUuid>

// What the main window shows beside its group list: one group, the draft of a new group, or the
// settings. An absent page (std::nullopt where a page is optional) means the group list itself.
struct DetailPage {
    enum class Kind { Group, GroupDraft, Settings };

    Kind kind = Kind::Settings;
    // Only meaningful for Kind::Group.
    QUuid groupID;

    static DetailPage group(const QUuid &id) { return {Kind::Group, id}; }
    static DetailPage groupDraft() { return {Kind::GroupDraft, {}}; }
    static DetailPage settings() { return {Kind::Settings, {}}; }

    friend bool operator==(const DetailPage &a, const DetailPage &b)
    {
        return a.kind == b.kind && (a.kind != Kind::Group || a.groupID == b.groupID);
    }

    // For log lines.
    QString description() const
    {
        switch (kind) {
        case Kind::Group:
            return QStringLiteral("group(%1)").arg(groupID.toString(QUuid::WithoutBraces).toUpper());
        case Kind::GroupDraft:
            return QStringLiteral("groupDraft");
        case Kind::Settings:
            break;
        }
        return QStringLiteral("settings");
    }
};

inline size_t qHash(const DetailPage &page, size_t seed = 0)
{
    return qHashMulti(seed, int(page.kind), page.kind == DetailPage::Kind::Group ? page.groupID : QUuid());
}
