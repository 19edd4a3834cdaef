#include "optimabstractsimifc.h"

OptimAbstractSimIFC::OptimAbstractSimIFC(QObject *parent)
    : QObject(parent)
{
}

OptimAbstractSimIFC::~OptimAbstractSimIFC() = default;

int OptimAbstractSimIFC::setTag(int tag)
{
    m_tag = tag;
    return m_tag;
}
