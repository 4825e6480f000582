#pragma once

#include <QDialog>
#include <QString>

// The question the platform asks when a program wants Accessibility access. "Allow" records the
// grant; "Deny" (the default) records nothing, so the program may ask again later.
class TrustPrompt : public QDialog {
    Q_OBJECT
public:
    explicit TrustPrompt(const QString &executable);

    QString executable() const { return m_executable; }

private:
    QString m_executable;
};
