#pragma once

#include <QByteArray>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>

class Clock;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QTimer;
class SerialPortService;
enum class ReceiveTrigger;

// The main window: port choice and settings, open/close/end, the transmit commands, the mode,
// frame-end and HEX option groups, the modem-line indicators and the traffic log. It owns the
// serial control MSComm1, the receive buffer and the frame-end state. Controls and state are
// public because the Module1 routines reach them by name.
class frm_PORTWREN : public QWidget
{
    Q_OBJECT
public:
    // port and clock default to the real serial control and the system clock.
    explicit frm_PORTWREN(SerialPortService *port = nullptr, Clock *clock = nullptr,
                          QWidget *parent = nullptr);
    ~frm_PORTWREN() override;

    // The sum check of a text: two upper-case hexadecimal digits.
    QByteArray FCS(const QByteArray &text) const;
    // Adds "[HH:mm:ss]" + text as the newest line of the traffic log and repaints at once.
    void DPrint(const QString &text);

    // What END does after closing the port; tests replace it so the test program goes on.
    std::function<void()> terminateProgram;

    // Top strip: modem-line indicators and the port choice.
    QLabel *Label1, *lbl_cd, *Label5, *lbl_cts, *Label2, *lbl_dsr, *Label3, *lbl_dtr, *Label7,
        *lbl_rts;
    std::array<QRadioButton *, 6> Option2;
    // Left column.
    QPushButton *btnEnd, *btnClr, *btnHelp, *btnOpen, *btnClose;
    QLineEdit *Text1, *Text2, *Text3;
    QPushButton *btnEOT, *btnACK, *btnNAK, *btnCR, *btnCRLF, *btnSEND, *btnSTX;
    QGroupBox *Frame1, *Frame2, *Frame3;
    std::array<QRadioButton *, 6> Option1; // mode
    std::array<QRadioButton *, 3> Option3; // frame end
    std::array<QRadioButton *, 2> Option4; // HEX display: 0 "On", 1 "Off"
    // The traffic log.
    QPlainTextEdit *RText;
    // Controls without a surface.
    SerialPortService *MSComm1;
    QTimer *Timer1;
    Clock *clock;

    // Window state.
    QByteArray RecvBuf;
    qint16 OpenFlag = 0;
    qint16 TermKind = 0;
    std::array<QString, 25> ModeSettings;
    std::array<qint16, 25> ModeTerm{};
    std::array<QString, 25> ModeText;
    QByteArray TermStr;

    // Handlers.
    void Form_Load();
    void Form_Resize();
    void btnOpen_Click();
    void btnClose_Click();
    void btnEnd_Click();
    void btnClr_Click();
    void btnHelp_Click();
    void Option1_Click(int index);
    void Option1_DblClick(int index);
    void Option2_Click(int index);
    void Option3_Click(int index);
    void btnEOT_Click();
    void btnACK_Click();
    void btnNAK_Click();
    void btnCR_Click();
    void btnCRLF_Click();
    void btnSEND_Click();
    void btnSTX_Click();
    void MSComm1_OnComm();
    void Timer1_Timer();
    void FrameProc(const QByteArray &frame);
    // The device went away while open: the connection goes to Closed as by CLOSE.
    void MSComm1_PortLost(const QString &reason);

    // True when the HEX display "On" is selected.
    bool hexDisplayOn() const;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createControls();
    void connectControls();
    void selectFrameEnd(int index);
    void showConnectionState(bool open);
    void sendFramed(const QByteArray &bytes, const QString &note);
    void receive(ReceiveTrigger trigger);

    std::unique_ptr<Clock> m_ownedClock;
    bool m_ending = false;
};
