#pragma once
// Connections the operator can come back to: the last five the panel opened, newest first, and the
// ones saved under a name. A connection is what the port panel's four boxes hold: the port (a device
// path or tcp://host:port), the baud rate, the character format and the slave address. They live in
// the panel's settings, beside the chosen language.

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <optional>

class QAction;
class QMenu;
class QWidget;
class TForm1;

struct Connection {
    QString port;
    quint32 baudRate = 19200;
    QString format = QStringLiteral("8_N_2");
    quint8 address = 1;

    // "/dev/ttyUSB0  19200 8_N_2  地址 1", as the menus list it.
    QString Text() const;
    friend bool operator==(const Connection&, const Connection&) = default;
};

inline constexpr int kRecentConnections = 5;

// The connections opened last, newest first, at most kRecentConnections, none twice.
QList<Connection> RecentConnections();
// Puts `connection` first, dropping its earlier place and the oldest beyond the limit.
void RememberConnection(const Connection& connection);

// The saved connections' names, sorted.
QStringList ConnectionNames();
std::optional<Connection> NamedConnection(const QString& name);
// Saves under `name`, replacing what had that name.
void SaveConnection(const QString& name, const Connection& connection);
void RemoveConnection(const QString& name);
// Why --connection NAME cannot be used: no such name, with the names there are.
QString UnknownConnectionMessage(const QString& name);

// What the form's line is set to now: its port, baud rate and format, and the address box's address.
Connection CurrentConnection(const TForm1& form);
// Puts the connection into the port, baud-rate, format and address boxes, each as if the operator had
// typed it, so that their handlers set the line. An open port stays open on what it was opened with;
// the port named takes effect at the next opening, as a typed one does.
void ApplyConnection(TForm1& form, const Connection& connection);

// The file menu's connection entries: 打开连接…, 保存连接为… and 最近的连接, and the remembering of each
// connection the form opens.
class TConnectionMenu : public QObject {
    Q_OBJECT
public:
    // The entries go into `menu` before `before`; dialogs open over `window`.
    TConnectionMenu(TForm1* form, QMenu* menu, QAction* before, QWidget* window);

    QAction* OpenAction = nullptr;
    QAction* SaveAction = nullptr;
    QMenu* RecentMenu = nullptr;

    void Retranslate();

public slots:
    void openNamed();
    void saveAs();

private:
    // Whether the boxes may be set: not while another window has borrowed the line (the bus scan).
    bool MayApply();
    void Apply(const Connection& connection);
    void FillRecent();

    TForm1* m_form;
    QWidget* m_window;
};
