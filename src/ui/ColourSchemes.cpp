#include "ui/ColourSchemes.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPalette>
#include <algorithm>
#include <filesystem>

#include "player/PlaylistContext.h"
#include "playlist/Model.h"
#include "support/Files.h"
#include "ui/HoxelListbox.h"
#include "ui/PlaylistRendering.h"

namespace mirvo {
namespace {

QFont ListFontFor(const SchemeValues& values) {
    const QString family = QString::fromStdString(values.FontName);
    // "Tahoma" and other faces missing here fall back to the default sans face.
    const QString face = QFontDatabase::hasFamily(family)
                             ? family
                             : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    QFont font(face);
    font.setPointSize(std::max(values.FontSize, 1));
    font.setBold(values.FontBold);
    return font;
}

}  // namespace

SystemColours SystemColoursOf(const QPalette& palette) {
    SystemColours system;
    system.Window = FromQColor(palette.color(QPalette::Base));
    system.WindowText = FromQColor(palette.color(QPalette::Text));
    system.Highlight = FromQColor(palette.color(QPalette::Highlight));
    system.HighlightText = FromQColor(palette.color(QPalette::HighlightedText));
    system.ButtonShadow = FromQColor(palette.color(QPalette::Dark));
    return system;
}

std::string SchemesFolder(const std::string& programFolder) {
    const std::string folder = JoinPath(programFolder, "Schemes") + "/";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

void LoadScheme(const PlaylistContext& ctx, THoxelListbox& list, const std::string& fileName) {
    const int focused = list.FocusedRow();
    list.BeginUpdate();
    const std::string text = ReadWholeFile(fileName).value_or(std::string());
    const SchemeParse parse = ParseScheme(text, list.Scheme(), SystemColoursOf(list.palette()));
    list.SetScheme(parse.Values);
    const QFont font = ListFontFor(parse.Values);
    list.SetListFont(font);
    list.SetItemHeight(QFontMetrics(font).height());
    list.EndUpdate();
    if (parse.Error) {
        ctx.dialogs.ShowNotice(NoticeKind::Error, *parse.Error);
    }
    SelectOnly(ctx.view, focused);
}

void ApplyBuiltinScheme(const PlaylistContext& ctx, THoxelListbox& list, int n) {
    const int focused = list.FocusedRow();
    list.BeginUpdate();
    const SchemeValues values = BuiltinScheme(n, list.Scheme(), SystemColoursOf(list.palette()),
                                              list.window()->font().family().toStdString());
    list.SetScheme(values);
    list.SetListFont(ListFontFor(values));
    list.SetItemHeight(n == 1 ? 24 : 13);
    list.EndUpdate();
    SelectOnly(ctx.view, focused);
}

void ApplyStartScheme(const PlaylistContext& ctx, THoxelListbox& list, std::string activeScheme) {
    // Written on Windows as "Schemes\Night.mirvoscheme".
    std::replace(activeScheme.begin(), activeScheme.end(), '\\', '/');
    if (!activeScheme.empty()) {
        LoadScheme(ctx, list, JoinPath(ctx.programFolder, activeScheme));
    } else {
        ApplyBuiltinScheme(ctx, list, 0);
    }
    ShowPlayingEntry(ctx);
    SelectOnly(ctx.view, ctx.playlist.PlayingIndex);
}

}  // namespace mirvo
