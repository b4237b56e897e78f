#include "tcp_proxy.h"

TcpProxy::TcpProxy(quint16 brokerPort)
    : m_brokerPort(brokerPort)
{
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* client = m_server.nextPendingConnection()) {
            auto* broker = new QTcpSocket(this);
            broker->connectToHost(QHostAddress::LocalHost, m_brokerPort);
            m_pairs.push_back({ client, broker });
            connect(client, &QTcpSocket::readyRead, this, [=, this] { relay(client, broker); });
            connect(broker, &QTcpSocket::readyRead, this, [=, this] { relay(broker, client); });
            connect(broker, &QTcpSocket::connected, this, [=, this] { relay(client, broker); });
            connect(client, &QTcpSocket::disconnected, broker, &QTcpSocket::disconnectFromHost);
            connect(broker, &QTcpSocket::disconnected, client, &QTcpSocket::disconnectFromHost);
        }
    });
}

void TcpProxy::relay(QTcpSocket* from, QTcpSocket* to)
{
    if (m_frozen || to->state() != QAbstractSocket::ConnectedState) return;
    to->write(from->readAll());
}

void TcpProxy::cut()
{
    for (const Pair& p : m_pairs) {
        p.client->abort();
        p.broker->abort();
        p.client->deleteLater();
        p.broker->deleteLater();
    }
    m_pairs.clear();
    m_frozen = false;
}
