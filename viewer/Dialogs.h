#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;
class CEditLatLong;
struct CGeoPoint;

// Dialogs are laid out in dialog units, a quarter of the font's average
// character width across and an eighth of its height down, so they keep their
// proportions with any font.
class CDialogLayout {
public:
    explicit CDialogLayout(const QWidget& dialog);
    QRect Rect(int x, int y, int width, int height) const;
    QSize Size(int width, int height) const;

private:
    int baseX;
    int baseY;
};

// "About Marlo": version and how to use the projections and the rotation.
class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

// Edits the rotation origin (radians) as latitude and longitude text. OK
// stores each coordinate whose text is valid and silently keeps the other.
class COriginDialog : public QDialog {
    Q_OBJECT

public:
    explicit COriginDialog(CGeoPoint* origin, QWidget* parent = nullptr);

    CEditLatLong* latitudeEdit = nullptr;
    CEditLatLong* longitudeEdit = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

public slots:
    void accept() override;

private:
    CGeoPoint* origin;
};

// Chooses the version of the text map format used for reading and writing.
class CPreferencesDialog : public QDialog {
    Q_OBJECT

public:
    explicit CPreferencesDialog(QWidget* parent = nullptr);

    QCheckBox* useFormat2 = nullptr;
    QPushButton* okButton = nullptr;
    QPushButton* cancelButton = nullptr;

public slots:
    void accept() override;
};
