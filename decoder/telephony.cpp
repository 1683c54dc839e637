// PLACEHOLDER until this family is decoded: every code writes the default text.
#include "decoder/families.h"

void decode_dialing(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_hdlc_flags(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_break(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_caller_id(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_io_status(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_speaker(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_at_profile(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_reset(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_v8bis(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_overlay(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_caller_id_circuit(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_a8r(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
void decode_a8t(const StatusRecord &record, StatusLine &line) { write_default_text(record, line); }
