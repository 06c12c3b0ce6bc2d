// The text bodies of the firmware report's records: the notes behind the
// note indent, a flash read's characters, the version list's table.
#pragma once

#include "decode/decoded_record.h"
#include "output/text/indents.h"

namespace ovantrex {

void writeCommandText(const EntryOut& entry, const FirmwareCommand& command);
// The notes and, for a flash read, its characters behind the dump indent.
void writeStatusReplyText(const EntryOut& entry, const StatusReply& reply);
// The table, each line behind the table indent; nothing unless listed.
void writeVersionListTable(const EntryOut& entry, const ExtendedVersionList& list);
void writeSmReportText(const EntryOut& entry, const SmReport& report);
// The wrapping dotted hex of the report's span, then its body.
void writeComponentReportText(const EntryOut& entry, const ComponentReport& report);

}  // namespace ovantrex
