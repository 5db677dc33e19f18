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

class TFmain : public QMainWindow
{
    Q_OBJECT
public:
    // dm is the data module every window of the station works on.
    explicit TFmain(TDm1 *dm, QWidget *parent = nullptr);
    ~TFmain() override;

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

    TDm1 *m_dm;
    TDbSelect *m_dbSelect = nullptr;
    bool m_shown = false;
    bool m_closed = false;
};
