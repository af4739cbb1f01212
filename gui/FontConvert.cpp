#include "FontConvert.h"

#include <QCheckBox>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace velmor {

namespace {

constexpr std::size_t kFaceNameMax = 31;

double ScreenDpi()
{
    const QScreen* pScreen = QGuiApplication::primaryScreen();
    const double dpi = pScreen ? pScreen->logicalDotsPerInchY() : 96.0;
    return dpi > 0 ? dpi : 96.0;
}

// Cuts a UTF-8 face name to the record's capacity without splitting a character.
std::string CutFaceName(std::string face)
{
    if (face.size() <= kFaceNameMax) return face;
    std::size_t n = kFaceNameMax;
    while (n > 0 && (static_cast<unsigned char>(face[n]) & 0xC0) == 0x80) --n;
    face.resize(n);
    return face;
}

}  // namespace

QFont LogFontToQFont(const CLogFont& font)
{
    QFont qfont(QString::fromStdString(font.m_strFaceName));
    qfont.setStyleHint(QFont::TypeWriter);
    qfont.setFixedPitch(true);
    // Heights beyond any screen are held to a size the rasteriser accepts.
    const int height = std::clamp(font.m_lHeight, -2000, 2000);
    if (height < 0) {
        qfont.setPixelSize(-height);
    } else if (height > 0) {
        qfont.setPixelSize(height);
        const int cell = QFontMetrics(qfont).height();
        if (cell > height) qfont.setPixelSize(std::max(1, static_cast<int>(std::lround(double(height) * height / cell))));
    }
    const int weight = font.m_lWeight <= 0 ? int(QFont::Normal) : std::min(font.m_lWeight, 1000);
    qfont.setWeight(static_cast<QFont::Weight>(weight));
    qfont.setItalic(font.m_byItalic != 0);
    qfont.setUnderline(font.m_byUnderline != 0);
    qfont.setStrikeOut(font.m_byStrikeOut != 0);
    return qfont;
}

void QFontToLogFont(const QFont& qfont, CLogFont& font)
{
    int pixels = qfont.pixelSize();
    if (pixels <= 0) pixels = static_cast<int>(std::lround(qfont.pointSizeF() * ScreenDpi() / 72.0));
    font.m_lHeight = -std::max(pixels, 1);
    font.m_lWeight = qfont.weight();
    font.m_byItalic = qfont.italic() ? 1 : 0;
    font.m_byUnderline = qfont.underline() ? 1 : 0;
    font.m_byStrikeOut = qfont.strikeOut() ? 1 : 0;
    font.m_strFaceName = CutFaceName(qfont.family().toStdString());
}

bool RunFontChooser(CLogFont& font, QWidget* pParent)
{
    // The chooser works in points; the record keeps pixels.
    QFont initial = LogFontToQFont(font);
    const int pixels = initial.pixelSize();
    if (pixels > 0) initial.setPointSizeF(pixels * 72.0 / ScreenDpi());

    QFontDialog dialog(initial, pParent);
    dialog.setOptions(QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
    // Qt's own dialog has no switch for its effects box (underline and
    // strike-out): hide the group that holds those check boxes.
    for (QGroupBox* pGroup : dialog.findChildren<QGroupBox*>())
        if (!pGroup->findChildren<QCheckBox*>().isEmpty()) pGroup->hide();
    if (dialog.exec() != QDialog::Accepted) return false;
    QFont chosen = dialog.selectedFont();
    // Effects cannot be chosen here, so the record's own flags stay.
    chosen.setUnderline(font.m_byUnderline != 0);
    chosen.setStrikeOut(font.m_byStrikeOut != 0);
    QFontToLogFont(chosen, font);
    return true;
}

}  // namespace velmor
