#pragma once
// What the serial component's tests share: a recorder of every event of a component, the program's own
// line settings, and small helpers.

#include "SerialComm.h"

#include <QDir>
#include <QList>
#include <QStringList>
#include <QTest>

// Records every event of a component, in order, with copies of the received bytes.
struct Recorder {
    struct Chunk {
        QByteArray bytes;
        bool zeroAfter;
        TChunkEnd end; // why it ended, as the component tells its handlers
    };
    QList<Chunk> chunks;
    QList<quint32> errors;
    QList<quint32> modem;
    int hangups = 0;
    int empties = 0;
    QStringList order;

    explicit Recorder(TComm& comm) {
        QObject::connect(&comm, &TComm::OnReceiveData,
                         [this, &comm](QObject* sender, const char* buf, quint16 n) {
                             QCOMPARE(sender, &comm);
                             chunks.append({QByteArray(buf, n), buf[n] == 0, comm.LastChunkEnd()});
                             order << QStringLiteral("data%1").arg(n);
                         });
        QObject::connect(&comm, &TComm::OnReceiveError, [this](QObject*, quint32 mask) {
            errors.append(mask);
            order << QStringLiteral("error");
        });
        QObject::connect(&comm, &TComm::OnModemStateChange, [this](QObject*, quint32 bits) {
            modem.append(bits);
            order << QStringLiteral("modem");
        });
        QObject::connect(&comm, &TComm::OnRequestHangup, [this](QObject*) {
            ++hangups;
            order << QStringLiteral("hangup");
        });
        QObject::connect(&comm, &TComm::OnSendDataEmpty, [this](QObject*) {
            ++empties;
            order << QStringLiteral("empty");
        });
    }
    QList<int> sizes() const {
        QList<int> s;
        for (const Chunk& c : chunks)
            s << int(c.bytes.size());
        return s;
    }
    QList<TChunkEnd> ends() const {
        QList<TChunkEnd> e;
        for (const Chunk& c : chunks)
            e << c.end;
        return e;
    }
    QByteArray received() const {
        QByteArray all;
        for (const Chunk& c : chunks)
            all += c.bytes;
        return all;
    }
};

// The program's own line settings: XON/XOFF off, so every byte value is data.
inline void useLayoutSettings(TComm& comm, const QString& name) {
    comm.SetCommName(name);
    comm.SetBaudRate(19200);
    comm.SetOutx_XonXoffFlow(false);
    comm.SetInx_XonXoffFlow(false);
    comm.SetRtsControl(TComm::RtsDisable);
}

inline QString openError(TComm& comm) {
    try {
        comm.OpenPort();
    } catch (const ECommsError& e) {
        return e.Message();
    }
    return {};
}

// Entries of /proc/self/fd or /proc/self/task. Sockets and event descriptors show as links to no file,
// which only QDir::System lists.
inline int countEntries(const char* dir) {
    return int(QDir(QString::fromLatin1(dir))
                   .entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)
                   .size());
}

inline QByteArray pattern(int n) {
    QByteArray b(n, Qt::Uninitialized);
    for (int i = 0; i < n; ++i)
        b[i] = char(i * 7 + 3);
    return b;
}
