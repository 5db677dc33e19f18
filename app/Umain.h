// The main window: the mode switch of the station. From here the operator chooses the
// race database and opens the chip-tag, photocell or transponder window for the event
// being run.
#pragma once

#include <QMainWindow>

class QLabel;
class TCuteButton;
class TDbSelect;
class TRadioGroup;
class TDm1;

class TFmain : public QMainWindow {
    Q_OBJECT
public:
    explicit TFmain(QWidget *parent = nullptr);
    ~TFmain() override;

    // The data module is created after the main window; it must be bound before show.
    void bindDataModule(TDm1 *dm);

    QString IniPath;
    int DataIndex() const;

    QLabel *Image1;
    QLabel *Label1;
    QLabel *Label2;
    QLabel *lUPD;
    QLabel *Label16;
    TCuteButton *CuteButton2;
    TCuteButton *CuteButton1;
    TCuteButton *CuteButton3;
    TCuteButton *CuteButton4;
    TRadioGroup *RGdb;

    // dd/mm/yyyy of a file's last change, as lUPD shows the program file's date.
    static QString FileDateText(const QString &path);

public slots:
    void FormCreate();
    void FormShow();
    void FormClose();
    void CuteButton2Click();
    void CuteButton1Click();
    void CuteButton3Click();
    void CuteButton4Click();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createControls();
    // Reopens the event-info query and takes the first row's code into CurrentTcode.
    void readCurrentTcode();

    TDbSelect *m_db = nullptr;
    bool m_shown = false;
    bool m_closed = false;
};
