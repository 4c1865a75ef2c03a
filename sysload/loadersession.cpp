#include "loadersession.h"

#include "datafile.h"
#include "portchoice.h"

LoaderSession::LoaderSession(const SysloadOptions &options, QObject *parent)
    : QObject(parent), m_options(options), m_port(this),
      m_clock(options.waitUnit, QStringLiteral("Timer1"), this)
{
    m_port.setObjectName(QStringLiteral("MSComm1"));
    m_port.setBurstGap(options.burstGap);
    m_link = std::make_unique<SerialLink>(&m_port);
    m_file = std::make_unique<BackupFile>(m_image, imagePath());
    m_loader = std::make_unique<SystemLoader>(*m_link, m_clock, *m_file);
    m_quick = std::make_unique<QuickExchange>(*m_link, options.waitUnit);
    m_loader->setQuickExchange(m_quick.get());
}

LoaderSession::~LoaderSession()
{
    m_loader->stop();
}

bool LoaderSession::openPort()
{
    const bool opened = m_port.open(ChoosePort(m_options.device).device);
    m_link->ForgetReceived();
    return opened;
}

QString LoaderSession::imagePath() const
{
    return m_options.imagePath.isEmpty() ? DataFilePath(SysloadText::FileName())
                                         : m_options.imagePath;
}

void LoaderSession::setQuick(bool quick)
{
    m_loader->setQuick(quick);
    m_port.setBurstGap(quick ? QuickExchange::BurstGap : m_options.burstGap);
}
