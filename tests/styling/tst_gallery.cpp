// Draws every piece of the design kit and the shared styling, the toast, the item views of every
// item kind and the group icon views, in light and dark, and saves each as a screenshot.
#include "Kestrowan/icons/GroupIconViews.h"
#include "Kestrowan/icons/ItemThumbnail.h"
#include "Kestrowan/icons/PreviewPictures.h"
#include "Kestrowan/icons/SkinManager.h"
#include "Kestrowan/icons/ThumbnailCache.h"
#include "Kestrowan/shell/AppColors.h"
#include "Kestrowan/shell/AppToastModifier.h"
#include "Kestrowan/shell/DSDivider.h"
#include "Kestrowan/shell/LanguageManager.h"
#include "Kestrowan/shell/Localization.h"
#include "Kestrowan/shell/ResourceBundle.h"
#include "Kestrowan/shell/RoundedSurface.h"
#include "Kestrowan/shell/ToastBanner.h"
#include "Kestrowan/shell/LocalizedFormat.h"
#include "NVLXDesign/ContinuousShape.h"
#include "NVLXDesign/DS.h"
#include "NVLXDesign/DividerLine.h"
#include "NVLXDesign/NVLXButton.h"
#include "NVLXDesign/SystemFont.h"
#include "Platform/linux/DesktopThumbnailRenderer.h"
#include "tests/styling/GalleryWindow.h"
#include "tests/support/RealApps.h"
#include "tests/support/TestMain.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPageSize>
#include <QPainter>
#include <QScopeGuard>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>

namespace {

struct NamedColor {
    const char *name;
    DynamicColor color;
};

const QList<NamedColor> &kitColors()
{
    static const QList<NamedColor> colors{
        {"bg", DS::bg}, {"bgSecondary", DS::bgSecondary}, {"bgWarm", DS::bgWarm}, {"surface", DS::surface},
        {"surfaceElevated", DS::surfaceElevated}, {"bgHover", DS::bgHover}, {"bgInput", DS::bgInput}, {"bgBadge", DS::bgBadge},
        {"accent", DS::accent}, {"accentHover", DS::accentHover}, {"accentPressed", DS::accentPressed}, {"accentSub", DS::accentSub},
        {"accentSubtle", DS::accentSubtle}, {"accentStroke", DS::accentStroke}, {"accentGlow", DS::accentGlow},
        {"accentGradientTop", DS::accentGradientTop}, {"accentGradientBottom", DS::accentGradientBottom}, {"accent2", DS::accent2},
        {"accent2Glow", DS::accent2Glow}, {"success", DS::success}, {"successSubtle", DS::successSubtle}, {"danger", DS::danger},
        {"dangerSubtle", DS::dangerSubtle}, {"warning", DS::warning}, {"warningSubtle", DS::warningSubtle}, {"info", DS::info},
        {"infoSubtle", DS::infoSubtle}, {"text1", DS::text1}, {"text2", DS::text2}, {"text3", DS::text3}, {"text4", DS::text4},
        {"iconBg", DS::iconBg}, {"border", DS::border}, {"borderStrong", DS::borderStrong}, {"borderCard", DS::borderCard},
        {"borderFocus", DS::borderFocus}, {"borderDanger", DS::borderDanger}, {"divider", DS::divider}, {"shadow", DS::shadow},
        {"shadowMd", DS::shadowMd}, {"shadowLg", DS::shadowLg}, {"shadowAccent", DS::shadowAccent}, {"glassFill", DS::glassFill},
        {"glassStroke", DS::glassStroke}, {"scrim", DS::scrim}, {"scrimHeavy", DS::scrimHeavy}, {"hover", DS::hover},
        {"pressed", DS::pressed}, {"disabledBg", DS::disabledBg}, {"disabledText", DS::disabledText}, {"btnHighlight", DS::btnHighlight},
        {"btnSecondaryFill", DS::btnSecondaryFill}, {"btnSecondaryStroke", DS::btnSecondaryStroke}, {"accentOn", DS::accentOn},
        {"icon", DS::icon}};
    return colors;
}

QWidget *sectionTitle(const QString &text)
{
    auto *label = new QLabel(text);
    label->setFont(SystemFont::font(DS::fsBase, QFont::DemiBold));
    return label;
}

QWidget *swatch(const NamedColor &named)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(Gallery::painted(QSize(104, 30), [named](QPainter &p, QWidget *w) {
        const QPainterPath shape = ContinuousShape::roundedRect(QRectF(0.5, 0.5, 103, 29), DS::rSm);
        p.fillPath(shape, named.color.resolve(w));
        p.setPen(QPen(DS::borderStrong.resolve(w), 1));
        p.drawPath(shape);
    }));
    layout->addWidget(Gallery::caption(QString::fromLatin1(named.name)));
    return box;
}

QWidget *surfaceSample(const QString &title, std::function<RoundedSurface(EffectiveAppearance)> surface)
{
    auto *box = new QWidget;
    auto *layout = new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    auto *frame = new SurfaceFrame(std::move(surface));
    frame->setFixedSize(150, 36);
    auto *inner = new QHBoxLayout(frame);
    inner->setContentsMargins(12, 0, 12, 0);
    auto *label = new QLabel(title);
    label->setFont(SystemFont::font(DS::fsSm, QFont::Medium));
    inner->addWidget(label, 0, Qt::AlignCenter);
    layout->addWidget(frame);
    return box;
}

QGridLayout *sampleGrid(QWidget *window)
{
    auto *layout = new QGridLayout(window);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->setHorizontalSpacing(18);
    layout->setVerticalSpacing(8);
    return layout;
}

AppItem itemAt(const QString &path, const QString &name)
{
    return AppItem{QUuid::createUuid(), QStringLiteral("file:") + path, name, path};
}


} // namespace

class TestGallery : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QList<AppItem> m_items;
    std::unique_ptr<SkinManager> m_skins;

    QString write(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

private slots:
    void initTestCase()
    {
        ResourceBundle::setPackagedPath(QStringLiteral(KESTROWAN_SOURCE_DIR "/resources"));
        SystemFont::applyToApplication(QStringLiteral("en"));
        // Two real installed applications with their own icons.
        const RealApps::Found found = RealApps::applications();
        QVERIFY2(found.missing.isEmpty(), qPrintable(found.missing));
        const AppItem calculator = found.items[0], viewer = found.items[1];
        Workspace::install(std::make_unique<RealApps::Workspace>());
        ThumbnailCache::setShared(std::make_unique<ThumbnailCache>(m_dir.filePath(QStringLiteral("cache")),
                                                                   std::make_shared<DesktopThumbnailRenderer>(QStringList())));

        QImage photo(800, 600, QImage::Format_RGB32);
        {
            QPainter p(&photo);
            QLinearGradient sky(0, 0, 0, 600);
            sky.setColorAt(0, QColor(255, 170, 110));
            sky.setColorAt(1, QColor(120, 70, 160));
            p.fillRect(photo.rect(), sky);
            p.setBrush(QColor(255, 230, 150));
            p.setPen(Qt::NoPen);
            p.drawEllipse(QPointF(560, 250), 90, 90);
        }
        photo.save(m_dir.filePath(QStringLiteral("Sunset.jpg")));
        {
            QPdfWriter pdf(m_dir.filePath(QStringLiteral("Invoice.pdf")));
            pdf.setPageSize(QPageSize(QPageSize::A4));
            QPainter p(&pdf);
            p.fillRect(QRect(0, 0, 9000, 1400), QColor(45, 108, 223));
            p.setFont(QFont(QStringLiteral("Inter"), 40));
            p.drawText(QPoint(400, 2400), QStringLiteral("Invoice 2041"));
        }
        write(QStringLiteral("Roadmap.svg"), "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 120 90'>"
                                             "<rect width='120' height='90' rx='8' fill='#1f6feb'/>"
                                             "<circle cx='40' cy='45' r='22' fill='#ffd33d'/>"
                                             "<rect x='70' y='25' width='36' height='40' rx='4' fill='#ffffff'/></svg>");
        write(QStringLiteral("Welcome.html"), "<html><body><h1 style='color:#c2410c'>Welcome</h1><p>Quarterly plan for the "
                                              "product team, with milestones and owners.</p><ul><li>Ship the editor</li>"
                                              "<li>Polish the popup</li></ul></body></html>");
        write(QStringLiteral("Budget.ods"), "PK");
        write(QStringLiteral("Notes.txt"), "plain");
        QDir().mkpath(m_dir.filePath(QStringLiteral("Projects")));
        m_items = {calculator, viewer,
                   itemAt(m_dir.filePath(QStringLiteral("Projects")), QStringLiteral("Projects")),
                   itemAt(m_dir.filePath(QStringLiteral("Sunset.jpg")), QStringLiteral("Sunset.jpg")),
                   itemAt(m_dir.filePath(QStringLiteral("Invoice.pdf")), QStringLiteral("Invoice.pdf")),
                   itemAt(m_dir.filePath(QStringLiteral("Roadmap.svg")), QStringLiteral("Roadmap.svg")),
                   itemAt(m_dir.filePath(QStringLiteral("Welcome.html")), QStringLiteral("Welcome.html")),
                   itemAt(m_dir.filePath(QStringLiteral("Budget.ods")), QStringLiteral("Budget.ods")),
                   itemAt(m_dir.filePath(QStringLiteral("Notes.txt")), QStringLiteral("Notes.txt")),
                   AppItem{QUuid::createUuid(), QStringLiteral("url:https://kestrowan.app"), QStringLiteral("kestrowan.app"),
                           QStringLiteral("https://kestrowan.app")}};
        m_skins = std::make_unique<SkinManager>(m_dir.filePath(QStringLiteral("Skins")), QStringLiteral(KESTROWAN_SOURCE_DIR "/resources/Skins"));
        // The photo and the page are decoded by the helper; the pictures show them once they are in.
        bool drawn = false;
        PreviewPictures::shared()->whenDrawn(m_items, 60000, this, [&drawn] { drawn = true; });
        QTRY_VERIFY_WITH_TIMEOUT(drawn, 60000);
    }

    void cleanupTestCase() { ThumbnailCache::setShared(nullptr); }

    void designKit_data()
    {
        QTest::addColumn<EffectiveAppearance>("appearance");
        QTest::newRow("light") << EffectiveAppearance::Light;
        QTest::newRow("dark") << EffectiveAppearance::Dark;
    }
    void designKit()
    {
        QFETCH(EffectiveAppearance, appearance);
        QWidget window;
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(24, 24, 24, 24);
        layout->setSpacing(DS::sp12);

        layout->addWidget(sectionTitle(QStringLiteral("Buttons")));
        auto *buttons = new QHBoxLayout;
        buttons->setSpacing(DS::sp12);
        NVLXButton *primary = new NVLXButton(NVLXButtonStyle::Primary, QStringLiteral("Sync to Dock"));
        buttons->addWidget(primary);
        buttons->addWidget(new NVLXButton(NVLXButtonStyle::Secondary, QStringLiteral("Add Items")));
        auto *pressedPrimary = new NVLXButton(NVLXButtonStyle::Primary, QStringLiteral("Pressed"));
        pressedPrimary->setDown(true);
        buttons->addWidget(pressedPrimary);
        buttons->addWidget(new NVLXButton(NVLXButtonStyle::Ghost, QStringLiteral("Cancel")));
        auto *pressedGhost = new NVLXButton(NVLXButtonStyle::Ghost, QStringLiteral("Ghost pressed"));
        pressedGhost->setDown(true);
        buttons->addWidget(pressedGhost);
        buttons->addWidget(new NVLXButton(NVLXButtonStyle::Plain, QStringLiteral("Plain")));
        buttons->addStretch();
        layout->addLayout(buttons);

        layout->addWidget(sectionTitle(QStringLiteral("Divider")));
        layout->addWidget(new NVLXDivider);

        layout->addWidget(sectionTitle(QStringLiteral("Surfaces")));
        auto *surfaces = new QHBoxLayout;
        surfaces->setSpacing(DS::sp12);
        surfaces->addWidget(surfaceSample(QStringLiteral("Bar"), [](EffectiveAppearance a) { return RoundedSurface::bar(12, a); }));
        surfaces->addWidget(surfaceSample(QStringLiteral("Glass"), [](EffectiveAppearance a) { return RoundedSurface::glassButton(10, false, a); }));
        surfaces->addWidget(surfaceSample(QStringLiteral("Glass accent"), [](EffectiveAppearance a) { return RoundedSurface::glassButton(10, true, a); }));
        surfaces->addWidget(surfaceSample(QStringLiteral("Toolbar"), [](EffectiveAppearance a) { return RoundedSurface::toolbarButton(8, false, false, a); }));
        surfaces->addWidget(surfaceSample(QStringLiteral("Prominent"), [](EffectiveAppearance a) { return RoundedSurface::toolbarButton(8, true, true, a); }));
        surfaces->addStretch();
        layout->addLayout(surfaces);
        layout->addWidget(new DSDivider);

        layout->addWidget(sectionTitle(QStringLiteral("Colours")));
        auto *grid = new QGridLayout;
        grid->setHorizontalSpacing(DS::sp12);
        grid->setVerticalSpacing(DS::sp8);
        for (int i = 0; i < kitColors().size(); ++i)
            grid->addWidget(swatch(kitColors()[i]), i / 7, i % 7);
        layout->addLayout(grid);

        layout->addWidget(sectionTitle(QStringLiteral("Type")));
        auto *type = new QHBoxLayout;
        for (qreal size : {DS::fsXs, DS::fsSm, DS::fsBase, DS::fsMd, DS::fsLg, DS::fsXl}) {
            auto *label = new QLabel(QStringLiteral("Aa %1").arg(size));
            label->setFont(SystemFont::font(size, QFont::DemiBold));
            type->addWidget(label);
        }
        type->addStretch();
        layout->addLayout(type);

        const QImage shot = Gallery::save(&window, QStringLiteral("main-designkit-gallery"), appearance);
        QCOMPARE(shot.pixelColor(4, 4), DS::bg.resolve(appearance));
        // The primary button is filled with the accent.
        const QPoint inside = primary->mapTo(&window, QPoint(6, primary->height() / 2));
        QCOMPARE(shot.pixelColor(inside), DS::accent.resolve(appearance));
    }

    void toast_data()
    {
        QTest::addColumn<EffectiveAppearance>("appearance");
        QTest::addColumn<QString>("language");
        QTest::newRow("light") << EffectiveAppearance::Light << QString();
        QTest::newRow("dark") << EffectiveAppearance::Dark << QString();
        QTest::newRow("light-ja") << EffectiveAppearance::Light << QStringLiteral("ja");
    }
    void toast()
    {
        QFETCH(EffectiveAppearance, appearance);
        QFETCH(QString, language);
        // In Japanese the banners carry the program's own texts from its tables, the longest among them.
        const bool japanese = !language.isEmpty();
        if (japanese) {
            LanguageManager::shared().setCurrentLanguage(language);
            SystemFont::applyToApplication(language);
        }
        const auto restore = qScopeGuard([japanese] {
            if (japanese) {
                LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
                SystemFont::applyToApplication(QStringLiteral("en"));
            }
        });
        QWidget window;
        window.setFixedSize(620, 330);
        auto *layout = new QVBoxLayout(&window);
        layout->setContentsMargins(20, 90, 20, 20);
        layout->setSpacing(14);
        const QList<AppToast> kinds = japanese
            ? QList<AppToast>{{AppToast::Kind::Success, localized(QStringLiteral("editor.synced"))},
                              {AppToast::Kind::Error, localized(QStringLiteral("main.syncAllFailed"))},
                              {AppToast::Kind::Warning, localized(QStringLiteral("settings.resetAll.dockBlocked"))}}
            : QList<AppToast>{{AppToast::Kind::Success, QStringLiteral("Synced “Design” to the Dock")},
                              {AppToast::Kind::Error, QStringLiteral("Could not write the Dock's preferences")},
                              {AppToast::Kind::Warning, QStringLiteral("Accessibility access is needed for hovering. Open the settings to grant it and try again, or switch to clicking.")}};
        for (const AppToast &t : kinds) {
            auto *banner = new ToastBanner;
            banner->setMaximumBannerWidth(580);
            banner->setToast(t);
            banner->setFixedSize(banner->sizeHint());
            layout->addWidget(banner, 0, Qt::AlignHCenter);
        }
        layout->addStretch();
        AppToastModifier modifier(&window);
        window.setPalette(Gallery::palette(appearance));
        window.show();
        modifier.setToast(AppToast{AppToast::Kind::Info, japanese ? localized(QStringLiteral("groups.loadError"))
                                                                  : QStringLiteral("Group “Work” created")});
        QTRY_VERIFY_WITH_TIMEOUT(!modifier.isAnimating(), 10000);
        QCOMPARE(modifier.presentation(), 1.0);
        QCOMPARE(modifier.banner()->mapTo(&window, QPoint(0, 0)).y(), AppToastModifier::outerTopPadding);
        Gallery::save(&window, QStringLiteral("main-toast"), appearance, language);
    }

    // The warning that names the folders kept for the user's files: every folder whole, on as many
    // lines as it takes.
    void toastNamingFolders_data() { toast_data(); }
    void toastNamingFolders()
    {
        QFETCH(EffectiveAppearance, appearance);
        QFETCH(QString, language);
        const bool japanese = !language.isEmpty();
        if (japanese) {
            LanguageManager::shared().setCurrentLanguage(language);
            SystemFont::applyToApplication(language);
        }
        const auto restore = qScopeGuard([japanese] {
            if (japanese) {
                LanguageManager::shared().setCurrentLanguage(QStringLiteral("en"));
                SystemFont::applyToApplication(QStringLiteral("en"));
            }
        });
        QWidget window;
        window.setFixedSize(620, 220);
        AppToastModifier modifier(&window);
        window.setPalette(Gallery::palette(appearance));
        window.show();
        const QString groups = QStringLiteral("/home/ada/.local/share/Kestrowan/Groups/");
        const QString folders = groups + QStringLiteral("Quarterly reports of the northern region, ") + groups + QStringLiteral("Grant applications 2027");
        modifier.setToast(AppToast{AppToast::Kind::Warning, localizedFormat(QStringLiteral("groups.userFilesKeptMany"), {folders}), true});
        QTRY_VERIFY_WITH_TIMEOUT(!modifier.isAnimating(), 10000);
        QString shown = modifier.banner()->visibleLines().join(QString());
        shown.remove(u' ').remove(QChar(0xA0));
        QVERIFY2(shown.contains(QStringLiteral("Grantapplications2027")), qPrintable(shown));
        Gallery::save(&window, QStringLiteral("main-keptfolders"), appearance, language);
    }

    void itemViews_data() { designKit_data(); }
    void itemViews()
    {
        QFETCH(EffectiveAppearance, appearance);
        QWidget window;
        QGridLayout *layout = sampleGrid(&window);
        const QStringList rows{QStringLiteral("Popup grid 50"), QStringLiteral("Popup list 34"), QStringLiteral("Editor 48"),
                               QStringLiteral("Card strip 28")};
        for (int r = 0; r < rows.size(); ++r)
            layout->addWidget(Gallery::caption(rows[r]), r * 2 + 1, 0);
        QList<ItemThumbnail *> fetching;
        for (int c = 0; c < m_items.size(); ++c) {
            const AppItem &item = m_items[c];
            auto *name = Gallery::caption(item.name);
            layout->addWidget(name, 0, c + 1, Qt::AlignHCenter);
            auto addView = [&](PictureView *view, qreal side, qreal radius, int row) {
                view->setFixedSize(qRound(side), qRound(side));
                view->setCornerRadius(radius);
                layout->addWidget(view, row, c + 1, Qt::AlignCenter);
            };
            auto *grid = new ItemThumbnail(item);
            fetching.append(grid);
            addView(grid, ItemThumbnailFrame::popupGridSide, ItemThumbnailFrame::popupGridRadius, 1);
            addView(new ItemThumbnail(item), ItemThumbnailFrame::popupListSide, ItemThumbnailFrame::popupListRadius, 3);
            addView(new ItemThumbnail(item), ItemThumbnailFrame::editorSide, ItemThumbnailFrame::editorCellRadius, 5);
            addView(new CompactItemThumbnail(item), ItemThumbnailFrame::cardStripSide, ItemThumbnailFrame::cardStripRadius, 7);
        }
        window.setPalette(Gallery::palette(appearance));
        window.show();
        // The vector image and the web page come back from the cache as real thumbnails.
        QTRY_VERIFY_WITH_TIMEOUT(fetching[5]->showsRenderedImage() && fetching[6]->showsRenderedImage(), 20000);
        QVERIFY(!fetching[7]->showsRenderedImage()); // no thumbnailer for it here: its badge stays
        Gallery::save(&window, QStringLiteral("popup-itemviews"), appearance);
    }

    void groupIcons_data() { designKit_data(); }
    void groupIcons()
    {
        QFETCH(EffectiveAppearance, appearance);
        QWidget window;
        QGridLayout *layout = sampleGrid(&window);
        struct Style {
            QString title;
            AppGroup::IconStyle style;
            std::optional<QString> skin;
        };
        const QList<Style> styles{{QStringLiteral("Shelf"), AppGroup::IconStyle::Shelf, std::nullopt},
                                  {QStringLiteral("Gradient"), AppGroup::IconStyle::Gradient, std::nullopt},
                                  {QStringLiteral("Pelko"), AppGroup::IconStyle::Pelko, std::nullopt},
                                  {QStringLiteral("Aurora"), AppGroup::IconStyle::Skin, QStringLiteral("aurora")},
                                  {QStringLiteral("Ember"), AppGroup::IconStyle::Skin, QStringLiteral("ember")},
                                  {QStringLiteral("Tidepool"), AppGroup::IconStyle::Skin, QStringLiteral("tidepool")},
                                  {QStringLiteral("Empty"), AppGroup::IconStyle::Shelf, std::nullopt}};
        const QList<AppItem> items = m_items.mid(0, 5);
        for (int c = 0; c < styles.size(); ++c) {
            AppGroup group;
            group.id = QUuid::createUuid();
            group.name = styles[c].title;
            group.apps = styles[c].title == QStringLiteral("Empty") ? QList<AppItem>() : items;
            group.iconStyle = styles[c].style;
            group.skinId = styles[c].skin;
            layout->addWidget(Gallery::caption(styles[c].title), 0, c, Qt::AlignHCenter);
            layout->addWidget(new ComposedGroupIconView(group, GroupIconFrame::cardSide, m_skins.get()), 1, c, Qt::AlignCenter);
            const std::optional<SkinDefinition> skin = styles[c].skin ? m_skins->skinWithID(*styles[c].skin) : std::nullopt;
            layout->addWidget(new IconStylePreview(group.apps, group.iconStyle, GroupIconFrame::editorChoiceSide, skin,
                                                   skin ? m_skins.get() : nullptr),
                              2, c, Qt::AlignCenter);
        }
        const QImage shot = Gallery::save(&window, QStringLiteral("main-groupicons"), appearance);
        QVERIFY(!shot.isNull());
    }
};

KESTROWAN_TEST_MAIN(TestGallery)
#include "tst_gallery.moc"
