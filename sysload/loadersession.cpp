#include "loadersession.h"

#include "datafile.h"
#include "exchangelog.h"

LoaderSession::LoaderSession(const SysloadOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_port(this),
      m_clock(options.waitUnit, QStringLiteral("Timer1"))
{
    m_port.setObjectName(QStringLiteral("MSComm1"));
    m_port.setBurstGap(options.burstGap);
    BusPort *bus = &m_port;
    if (!options.logPath.isEmpty()) {
        m_log = std::make_unique<ExchangeLog>(m_port, options.logPath);
        bus = m_log.get();
    }
    m_link = std::make_unique<SerialLink>(bus);
    m_loader = std::make_unique<SystemLoader>(*m_link, m_clock, m_image, imagePath());
    m_quick = std::make_unique<QuickExchange>(*bus, *m_link, options.waitUnit);
    m_loader->setQuickExchange(m_quick.get());
}

LoaderSession::~LoaderSession()
{
    m_loader->stop();
}

bool LoaderSession::openPort()
{
    const QString device =
        m_options.device.isEmpty() ? SerialBusPort::DefaultDevice() : m_options.device;
    const bool opened = m_port.open(device);
    m_link->setReceiveOffset(0);
    return opened;
}

QString LoaderSession::imagePath() const
{
    return m_options.imagePath.isEmpty() ? DataFilePath(SysloadText::FileName())
                                         : m_options.imagePath;
}

QString LoaderSession::logError() const
{
    return m_log ? m_log->errorOpening() : QString();
}

void LoaderSession::setQuick(bool quick)
{
    m_loader->setQuick(quick);
    m_port.setBurstGap(quick ? QuickExchange::BurstGap : m_options.burstGap);
}
