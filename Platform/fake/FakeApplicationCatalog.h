#pragma once

#include "Platform/ApplicationCatalog.h"

#include <QMap>

// Answers from tables the test fills.
class FakeApplicationCatalog final : public ApplicationCatalog {
public:
    QMap<QString, QList<Application>> byExtension;
    QList<Application> all;

    QList<Application> applicationsOpening(const QString &extension) const override { return byExtension.value(extension); }
    QList<Application> allApplications() const override { return all; }
};
