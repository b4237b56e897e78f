// A TCP proxy the MQTT tests own, between the client and the broker: it can freeze the link (nothing passes either
// way, the sockets stay open) and cut it (every connection reset at once), as a network does.
#pragma once

#include <QTcpServer>
#include <QTcpSocket>
#include <vector>

class TcpProxy : public QObject {
    Q_OBJECT

public:
    explicit TcpProxy(quint16 brokerPort);
    quint16 port() const { return m_server.serverPort(); }
    void freeze() { m_frozen = true; }
    // Resets every connection; new ones are taken and pass again.
    void cut();

private:
    struct Pair {
        QTcpSocket* client;
        QTcpSocket* broker;
    };
    void relay(QTcpSocket* from, QTcpSocket* to);

    quint16 m_brokerPort;
    QTcpServer m_server;
    bool m_frozen = false;
    std::vector<Pair> m_pairs;
};
