#include "Generator.h"

#include "ButtonArt.h"
#include "DibWriter.h"
#include "IconArt.h"
#include "PaletteBuilder.h"
#include "PixelMap.h"
#include "ThemeIcon.h"

#include "control/Commands.h"
#include "res/Utf8.h"
#include "res/resource.h"

#include <algorithm>
#include <iterator>

namespace
{
// The desktop's name for the program: the theme icons are named after it.
const QLatin1String kAppId("net.lumopanel.Lumo");

// Pixel map of each button's pictogram; buttons that share a drawing name the
// same map.
struct PictogramOf {
    std::string_view caption;
    const char* map;
};
constexpr PictogramOf kPictograms[] = {
    {"SHIPIN", "monitor_pencil"},
    {"DIANNAOXINHAO", "monitor_tower"},
    {"TOUYINGKAI", "projector"},
    {"TOUYINGGUAN", "projector"},
    {"YINGDIEJI", "disc_players"},
    {"LUXIANGJI", "video_recorder"},
    {"LUYINJI", "radio_cassette"},
    {"MEITI", "globe"},
    {"ZHANSHITAI", "presenter"},
    {"TAI", "desktop"},
    {"SHOUTIDIANNAO", "notebook"},
    {"SHUZIZHANTAI", "presenter"},
    {"B", "diamond_down"},
    {"A", "diamond_up"},
    {"C", "tuba"},
    {"D", "tuba"},
};

// Palette groups: the device buttons share one palette; the screen and
// volume buttons have one each.
struct PaletteGroup {
    std::string_view captions[12];
    QRgb entry0;
    int entries;
};
const PaletteGroup kGroups[] = {
    {{"SHIPIN", "DIANNAOXINHAO", "TOUYINGKAI", "TOUYINGGUAN", "YINGDIEJI", "LUXIANGJI", "LUYINJI",
      "MEITI", "ZHANSHITAI", "TAI", "SHOUTIDIANNAO", "SHUZIZHANTAI"},
     qRgb(4, 3, 5),
     256},
    {{"A"}, qRgb(4, 2, 4), 106},
    {{"B"}, qRgb(4, 3, 4), 256},
    {{"C"}, qRgb(4, 3, 4), 256},
    {{"D"}, qRgb(4, 3, 4), 256},
};

const Command* faceOf(std::string_view caption)
{
    const auto it = std::find_if(kCommands.begin(), kCommands.end(), [&](const Command& c) {
        return c.IsPicture() && c.picture == caption;
    });
    return it == kCommands.end() ? nullptr : &*it;
}

const char* mapOf(std::string_view caption)
{
    for (const PictogramOf& p : kPictograms)
        if (p.caption == caption)
            return p.map;
    return nullptr;
}
} // namespace

Generator::Generator(const QString& fontPath) : label_(fontPath) {}

bool Generator::Map(const QString& name, QImage* out, QString* error) const
{
    *out = PixelMap::Read(QStringLiteral(":/maps/%1.txt").arg(name), legend_, error);
    return !out->isNull();
}

bool Generator::Run(QString* error)
{
    if (!label_.IsValid()) {
        *error = QStringLiteral("the 16-pixel label font cannot be loaded");
        return false;
    }
    if (!PixelMap::ReadLegend(QStringLiteral(":/maps/legend.txt"), &legend_, error))
        return false;
    return DrawPictures(error) && DrawIcons(error);
}

bool Generator::DrawPictures(QString* error)
{
    for (const Command& face : kCommands) {
        if (face.IsPicture() && !mapOf(face.picture)) {
            *error = QStringLiteral("no pictogram for %1").arg(FromUtf8(face.picture));
            return false;
        }
    }
    for (const PaletteGroup& group : kGroups) {
        struct Drawn {
            QString caption;
            QImage drawing;
            QImage label;
        };
        QList<Drawn> drawn;
        PaletteBuilder palette(group.entry0, group.entries);
        for (std::string_view caption : group.captions) {
            if (caption.empty())
                break;
            const Command* face = faceOf(caption);
            if (!face) {
                *error = QStringLiteral("no face for %1").arg(FromUtf8(caption));
                return false;
            }
            QImage pictogram;
            if (!Map(QString::fromLatin1(mapOf(caption)), &pictogram, error))
                return false;
            Drawn d{FromUtf8(caption), ButtonArt::Drawing(pictogram),
                    label_.Set(FromUtf8(face->label), ButtonArt::kSize, ButtonArt::kLabelTop,
                               ButtonArt::kLabelCentre)};
            palette.AddDrawing(d.drawing);
            drawn.append(d);
        }
        palette.Build();
        for (const Drawn& d : drawn) {
            const QImage up = palette.Map(d.drawing, d.label);
            const QImage down = ButtonArt::Pressed(up);
            pictures_.append({d.caption + QLatin1Char('U'), up});
            pictures_.append({d.caption + QLatin1Char('D'), down});
        }
    }
    // Panel order, as the command table lists them.
    std::stable_sort(pictures_.begin(), pictures_.end(), [](const Picture& a, const Picture& b) {
        auto rank = [](const Picture& p) {
            const QByteArray caption = p.name.chopped(1).toLatin1();
            return int(faceOf(std::string_view(caption.constData())) - kCommands.data());
        };
        return rank(a) < rank(b);
    });
    for (const Picture& p : pictures_)
        files_.insert(QStringLiteral("pictures/%1.bmp").arg(p.name), DibWriter::Bitmap(p.image));
    return true;
}

bool Generator::DrawIcons(QString* error)
{
    for (const Command& face : kCommands) {
        if (face.IsPicture())
            continue;
        const IconImage image = IconArt::Transport(face.iconId);
        const QString name = QStringLiteral("%1.ico").arg(face.iconId);
        files_.insert(QStringLiteral("icons/") + name, DibWriter::Icon({image}));
        icons_.append({name, {IconArt::ToImage(image)}});
    }

    QList<IconImage> app;
    for (const char* map : {"app_icon_32", "app_icon_16"}) {
        QImage drawing;
        if (!Map(QString::fromLatin1(map), &drawing, error))
            return false;
        const IconImage image = IconArt::Standard16(drawing, error);
        if (image.index.empty()) {
            *error = QStringLiteral("%1: %2").arg(QString::fromLatin1(map), *error);
            return false;
        }
        app.append(image);
    }
    const QString appName = QStringLiteral("%1.ico").arg(IDR_MAINFRAME);
    files_.insert(QStringLiteral("icons/") + appName, DibWriter::Icon(app));
    icons_.append({appName, {IconArt::ToImage(app[0]), IconArt::ToImage(app[1])}});
    // The Windows program's icon (Explorer, the Start menu, the taskbar, the
    // installers): the same two images, then 48 and 256 px whole-pixel
    // enlargements of the drawing that divides them, in 32-bit colour with
    // the checked and white ground around the cubes clear.
    const QList<QRgb> ground{qRgb(0, 0, 128), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    files_.insert(QStringLiteral("windows/lumo.ico"),
                  DibWriter::Icon({app[0], app[1],
                                   ThemeIcon::Enlarged(IconArt::Cutout(app[1], ground), 3),
                                   ThemeIcon::Enlarged(IconArt::Cutout(app[0], ground), 8)}));

    // The icon theme's sizes, each a whole-pixel enlargement of the image
    // that divides it: 48 comes from the 16 x 16 drawing, not 1.5 x 32.
    struct ThemeSize {
        int size;
        const IconImage& source;
    };
    for (const ThemeSize& theme :
         {ThemeSize{16, app[1]}, ThemeSize{32, app[0]}, ThemeSize{48, app[1]},
          ThemeSize{64, app[0]}, ThemeSize{128, app[0]}, ThemeSize{256, app[0]}}) {
        const QByteArray png =
            ThemeIcon::Png(ThemeIcon::Enlarged(theme.source, theme.size / theme.source.width));
        if (png.isEmpty()) {
            *error = QStringLiteral("cannot encode the %1 px theme icon").arg(theme.size);
            return false;
        }
        files_.insert(QStringLiteral("hicolor/%1x%1/apps/%2.png").arg(theme.size).arg(kAppId), png);
    }

    QImage hand;
    if (!Map(QStringLiteral("hand_cursor"), &hand, error))
        return false;
    const IconImage cursor = IconArt::Monochrome(hand, error);
    if (cursor.index.empty()) {
        *error = QStringLiteral("hand_cursor: ") + *error;
        return false;
    }
    const QString cursorName = QStringLiteral("%1.cur").arg(IDC_HAND_CURSOR);
    files_.insert(QStringLiteral("cursors/") + cursorName, DibWriter::Cursor(cursor, 5, 0));
    icons_.append({cursorName, {IconArt::ToImage(cursor)}});
    return true;
}
