#pragma once

// Makes an empty record by its tag: any record of the data model, any
// message type word, or a list name.

#include "model/optimserialization.h"

#include <QStringList>

#include <memory>

std::unique_ptr<OptimSerializationIFC> makeRecord(const QByteArray &word);
QStringList knownRecordWords();
