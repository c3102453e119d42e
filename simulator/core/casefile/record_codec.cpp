#include "casefile/record_codec.hpp"

namespace velquin::sim::casefile {

std::uint32_t RecordWriter::count_of(std::size_t n, const char* what) {
    if (n > std::numeric_limits<std::uint32_t>::max())
        throw CaseFileError(std::string("cannot save: ") + what + " of " + std::to_string(n) +
                            " entries is too long for a saved case");
    return static_cast<std::uint32_t>(n);
}

void RecordWriter::put(const FieldValue& value) {
    switch (value.index()) {
        case 0:
            put(static_cast<std::uint8_t>(ValueTag::kEmpty));
            break;
        case 1:
            put(static_cast<std::uint8_t>(ValueTag::kInteger));
            put(std::get<long long>(value));
            break;
        case 2:
            put(static_cast<std::uint8_t>(ValueTag::kReal));
            put(std::get<double>(value));
            break;
        default:
            put(static_cast<std::uint8_t>(ValueTag::kText));
            put(std::get<std::string>(value));
            break;
    }
}

void RecordWriter::put_aux(const AuxRecord& record, int depth) {
    // Refuse to write what the reader would refuse to read back.
    if (depth > kMaxAuxRecordDepth)
        throw CaseFileError("cannot save: a device record nests more than " +
                            std::to_string(kMaxAuxRecordDepth) + " levels deep");
    put(record.fields);
    put(count_of(record.groups.size(), "a list"));
    for (const std::vector<AuxRecord>& group : record.groups) {
        put(count_of(group.size(), "a list"));
        for (const AuxRecord& r : group) put_aux(r, depth + 1);
    }
}

void RecordReader::fail(const std::string& what) const {
    throw CaseFileError(context_ + ": " + what + ")");
}

void RecordReader::get(FieldValue& value) {
    std::uint8_t tag = 0;
    get(tag);
    switch (static_cast<ValueTag>(tag)) {
        case ValueTag::kEmpty:
            value = std::monostate{};
            return;
        case ValueTag::kInteger: {
            long long v = 0;
            get(v);
            value = v;
            return;
        }
        case ValueTag::kReal: {
            double v = 0.0;
            get(v);
            value = v;
            return;
        }
        case ValueTag::kText: {
            std::string v;
            get(v);
            value = std::move(v);
            return;
        }
    }
    fail("unknown value tag " + std::to_string(tag));
}

void RecordReader::get_aux(AuxRecord& record, int depth) {
    if (depth > kMaxAuxRecordDepth)
        fail("device records nested more than " + std::to_string(kMaxAuxRecordDepth) + " levels deep");
    get(record.fields);
    std::uint32_t group_count = 0;
    get(group_count);
    // An empty group takes 4 bytes, a record in a group at least 8.
    if (group_count > remaining() / 4)
        fail("a list of " + std::to_string(group_count) + " groups cannot fit in the remaining " +
             std::to_string(remaining()) + " bytes");
    record.groups.assign(group_count, {});
    for (std::vector<AuxRecord>& group : record.groups) {
        std::uint32_t n = 0;
        get(n);
        if (n > remaining() / 8)
            fail("a list of " + std::to_string(n) + " records cannot fit in the remaining " +
                 std::to_string(remaining()) + " bytes");
        group.resize(n);
        for (AuxRecord& r : group) get_aux(r, depth + 1);
    }
}

}  // namespace velquin::sim::casefile
