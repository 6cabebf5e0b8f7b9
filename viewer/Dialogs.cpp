#include "viewer/Dialogs.h"

#include "controls/EditLatLong.h"
#include "mapfiles/MapFiles.h"
#include "projection/LatLongText.h"
#include "projection/Projection.h"
#include "viewer/Resource.h"
#include "viewer/ToolbarIcons.h"

#include <QCheckBox>
#include <QFontMetricsF>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <cmath>

namespace {

// A label at its place in the template, grown where this font needs more room
// than the template gives, so no text is cut off.
QLabel* AddLabel(QDialog* dialog, const QString& text, QRect rect, bool wrap = false) {
    auto* label = new QLabel(text, dialog);
    label->setWordWrap(wrap);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (wrap) {
        rect.setHeight(std::max(rect.height(), label->heightForWidth(rect.width())));
    } else {
        rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
    }
    label->setGeometry(rect);
    return label;
}

QPushButton* AddButton(QDialog* dialog, const QString& text, QRect rect, bool isDefault) {
    auto* button = new QPushButton(text, dialog);
    button->setGeometry(rect);
    button->setDefault(isDefault);
    button->setAutoDefault(isDefault);
    return button;
}

} // namespace

CDialogLayout::CDialogLayout(const QWidget& dialog) {
    // The base units are measured as Windows measures them: the mean width of
    // the 52 letters, rounded, and the font's height.
    const QFontMetricsF metrics(dialog.font());
    const double letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX = std::max(1, static_cast<int>(std::lround(letters / 52.0)));
    baseY = std::max(1, static_cast<int>(std::ceil(metrics.height())));
}

QRect CDialogLayout::Rect(int x, int y, int width, int height) const {
    return QRect(x * baseX / 4, y * baseY / 8, width * baseX / 4, height * baseY / 8);
}

QSize CDialogLayout::Size(int width, int height) const {
    return QSize(width * baseX / 4, height * baseY / 8);
}

// ---------------------------------------------------------------------------

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_ABOUTBOX"));
    setWindowTitle(QStringLiteral("About Marlo"));
    const CDialogLayout layout(*this);

    auto* icon = new QLabel(this);
    icon->setPixmap(MakeApplicationIcon().pixmap(32, 32));
    icon->setGeometry(layout.Rect(11, 17, 21, 20));
    AddLabel(this, QStringLiteral("Marlo Version 1.0"), layout.Rect(40, 10, 119, 8));
    AddLabel(this, QStringLiteral("A world map projection demonstrator"),
             layout.Rect(40, 25, 119, 8));
    const QLabel* usage =
        AddLabel(this,
                 QStringLiteral(
                     "Open a map file then select a projection to use. Select to project and then "
                     "to inverse project back to demonstrate the projection. Set the origin and "
                     "then rotate to centre the map using that origin and rotate back. "),
                 layout.Rect(33, 47, 193, 37), true);
    QRect sequenceRect = layout.Rect(32, 84, 193, 37);
    sequenceRect.moveTop(std::max(sequenceRect.top(), usage->geometry().bottom() + 1));
    const QLabel* sequence = AddLabel(
        this,
        QStringLiteral("To demonstrate both, first rotate then project then project back then "
                       "rotate back."),
        sequenceRect, true);
    const QSize templateSize = layout.Size(249, 126);
    setFixedSize(templateSize.width(),
                 std::max(templateSize.height(),
                          sequence->geometry().bottom() + 1 + layout.Size(0, 5).height()));
    QPushButton* ok = AddButton(this, QStringLiteral("OK"), layout.Rect(192, 7, 50, 16), true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

// ---------------------------------------------------------------------------

COriginDialog::COriginDialog(CGeoPoint* origin, QWidget* parent) : QDialog(parent), origin(origin) {
    setObjectName(QStringLiteral("IDD_PROJECTION_ORIGIN"));
    setWindowTitle(QStringLiteral("Projection Origin"));
    const CDialogLayout layout(*this);
    setFixedSize(layout.Size(186, 55));

    okButton = AddButton(this, QStringLiteral("OK"), layout.Rect(129, 7, 50, 14), true);
    cancelButton = AddButton(this, QStringLiteral("Cancel"), layout.Rect(129, 24, 50, 14), false);
    AddLabel(this, QStringLiteral("Latitude"), layout.Rect(12, 12, 40, 8));
    AddLabel(this, QStringLiteral("Longitude"), layout.Rect(11, 28, 40, 8));
    latitudeEdit = new CEditLatLong(this);
    latitudeEdit->setObjectName(QStringLiteral("IDC_LATITUDE"));
    latitudeEdit->setGeometry(layout.Rect(54, 7, 62, 14));
    longitudeEdit = new CEditLatLong(this);
    longitudeEdit->setObjectName(QStringLiteral("IDC_LONGITUDE"));
    longitudeEdit->setGeometry(layout.Rect(54, 24, 62, 14));
    connect(okButton, &QPushButton::clicked, this, &COriginDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);

    latitudeEdit->Initialise(true);
    longitudeEdit->Initialise(false);
    const CGeoPoint shown = origin != nullptr ? *origin : CGeoPoint();
    latitudeEdit->setText(QString::fromLatin1(FormatLatitude(shown.lat * RadiansToDegrees)));
    longitudeEdit->setText(QString::fromLatin1(FormatLongitude(shown.lon * RadiansToDegrees)));
    latitudeEdit->setFocus();
}

void COriginDialog::accept() {
    if (origin != nullptr) {
        const QByteArray latitude = latitudeEdit->text().toLatin1();
        if (IsValidLatitudeText(latitude.constData())) {
            origin->lat = ParseLatitude(latitude.constData()) * DegreesToRadians;
        }
        const QByteArray longitude = longitudeEdit->text().toLatin1();
        if (IsValidLongitudeText(longitude.constData())) {
            origin->lon = ParseLongitude(longitude.constData()) * DegreesToRadians;
        }
    }
    QDialog::accept();
}

// ---------------------------------------------------------------------------

CPreferencesDialog::CPreferencesDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("IDD_PREFERENCES"));
    setWindowTitle(QStringLiteral("Preferences"));
    const CDialogLayout layout(*this);
    setFixedSize(layout.Size(268, 71));

    okButton = AddButton(this, QStringLiteral("OK"), layout.Rect(211, 7, 50, 14), true);
    cancelButton = AddButton(this, QStringLiteral("Cancel"), layout.Rect(211, 24, 50, 14), false);
    useFormat2 = new QCheckBox(QStringLiteral("Use Varmo Format 2 for vmq files."), this);
    useFormat2->setObjectName(QStringLiteral("IDC_USE_FORMAT2"));
    useFormat2->setGeometry(layout.Rect(9, 9, 149, 14));
    useFormat2->setChecked(useTextMapFormat2);
    connect(okButton, &QPushButton::clicked, this, &CPreferencesDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void CPreferencesDialog::accept() {
    useTextMapFormat2 = useFormat2->isChecked();
    QDialog::accept();
}
