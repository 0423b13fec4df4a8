// The record of changes as JSON. Written by PopSwat, but read back as any file
// from the disk is: every member is checked for its type before it is used, and
// a record that lacks anything a change needs is refused as a whole.
#include "base/json_writer.h"
#include "browsers/json_document.h"

namespace {

const char* const STATE_NAMES[] = {"pending", "done", "left", "undone"};

std::string HexText(const std::string& bytes) {
    static const char DIGITS[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : bytes) {
        text += DIGITS[byte >> 4];
        text += DIGITS[byte & 15];
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool FromHexText(const std::string& text, std::string* bytes) {
    if (text.size() % 2)
        return false;
    bytes->clear();
    for (std::size_t i = 0; i < text.size(); i += 2) {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        bytes->push_back(static_cast<char>(high * 16 + low));
    }
    return true;
}

// The kinds whose change is one registry value deleted or changed, or (an extension's registration) a key.
bool IsValueKind(const std::string& kind) {
    return kind == "run-value" || kind == "proxy" || kind == "policy-value" || kind == "extension-registration";
}

bool IsWholeKey(const ChangeEntry& change) {
    return change.kind == "extension-registration" && change.valueName.empty();
}

// A key's values as the record lists them; false when any is incomplete.
bool ReadKeyValues(const JsonValue* values, std::vector<RecordedValue>* read);

void WriteEntry(JsonWriter& writer, const ChangeEntry& change, bool preview) {
    WriteJsonField(writer, "findingId", change.findingId);
    WriteJsonField(writer, "kind", change.kind.c_str());
    WriteJsonField(writer, "location", change.location);
    if (preview) {
    } else if (change.kind == "scheduled-task") {
        writer.Key("task");
        writer.StartObject();
        WriteJsonField(writer, "definition", HexText(change.taskDefinition).c_str());
        WriteJsonField(writer, "definitionAfter", HexText(change.taskDefinitionAfter).c_str());
        writer.EndObject();
    } else if (IsValueKind(change.kind)) {
        writer.Key("value");
        writer.StartObject();
        writer.Key("machine");
        writer.Bool(change.machine);
        WriteJsonField(writer, "key", change.valueKey);
        WriteJsonField(writer, "name", change.valueName);
        writer.Key("type");
        writer.Raw(std::to_string(change.valueType));
        WriteJsonField(writer, "data", HexText(change.valueData).c_str());
        if (IsWholeKey(change)) {
            writer.Key("values");
            writer.StartArray();
            for (const RecordedValue& value : change.keyValues) {
                writer.StartObject();
                WriteJsonField(writer, "name", value.name);
                writer.Key("type");
                writer.Raw(std::to_string(value.type));
                WriteJsonField(writer, "data", HexText(value.data).c_str());
                writer.EndObject();
            }
            writer.EndArray();
        }
        writer.EndObject();
    } else if (change.kind == "startup-item" || change.kind == "startup-page" ||
               change.kind == "firefox-policies-file") {
    } else if (!change.firefoxRow.type.empty()) {
        const FirefoxPermissionRow& row = change.firefoxRow;
        writer.Key("row");
        writer.StartObject();
        const std::pair<const char*, int64_t> numbers[] = {{"id", row.id},
                                                           {"permission", row.permission},
                                                           {"expireType", row.expireType},
                                                           {"expireTime", row.expireTime},
                                                           {"modificationTime", row.modificationTime}};
        writer.Key("origin");
        writer.String(row.origin);
        writer.Key("type");
        writer.String(row.type);
        for (const auto& number : numbers) {
            writer.Key(number.first);
            writer.Raw(std::to_string(number.second));
        }
        writer.EndObject();
    } else if (change.kind == "firefox-prefs") {
        // The bytes as they stood: a prefs.js may hold any bytes at all.
        writer.Key("statement");
        writer.StartObject();
        WriteJsonField(writer, "text", HexText(change.statement).c_str());
        writer.Key("offset");
        writer.Raw(std::to_string(change.offset));
        WriteJsonField(writer, "before", HexText(change.textBefore).c_str());
        WriteJsonField(writer, "after", HexText(change.textAfter).c_str());
        writer.EndObject();
    } else if (!change.grant.permission.empty()) {
        writer.Key("removed");
        writer.StartObject();
        WriteJsonField(writer, "permission", change.grant.permission.c_str());
        writer.Key("allSites");
        writer.Bool(change.grant.allSites);
        writer.Key("name");
        writer.String(change.grant.member);
        writer.Key("value");
        writer.Raw(change.grant.value);  // JSON text that SerializeJson wrote
        writer.EndObject();
    } else {
        writer.Key("changed");
        writer.StartObject();
        WriteJsonField(writer, "oldArguments", change.oldArguments);
        WriteJsonField(writer, "newArguments", change.newArguments);
        writer.EndObject();
    }
    WriteJsonFieldOrNull(writer, "copy", !change.copy.empty(), change.copy);
    if (!change.written.empty())
        WriteJsonField(writer, "written", change.written);
    WriteJsonField(writer, "state", ChangeStateName(change.state));
    WriteJsonFieldOrNull(writer, "why", !change.why.empty(), change.why);
}

bool ReadText(const JsonValue& object, const char* name, std::string* text) {
    const JsonValue* value = FindJsonMember(object, name);
    if (!value || !value->IsString())
        return false;
    *text = JsonUtf8(value);
    return true;
}

bool ReadWide(const JsonValue& object, const char* name, std::wstring* text) {
    std::string utf8;
    if (!ReadText(object, name, &utf8))
        return false;
    *text = Utf8ToWide(utf8);
    return true;
}

// An optional text: absent or null is "".
bool ReadOptionalWide(const JsonValue& object, const char* name, std::wstring* text) {
    const JsonValue* value = FindJsonMember(object, name);
    if (!value || value->IsNull())
        return true;
    return ReadWide(object, name, text);
}

// The members a change needs; what is missing, or "" when nothing is.
const char* ReadEntry(const JsonValue& object, ChangeEntry* change) {
    if (!object.IsObject())
        return "is not an object";
    if (!ReadWide(object, "findingId", &change->findingId))
        return "has no findingId";
    if (!ReadText(object, "kind", &change->kind))
        return "has no kind";
    if (!ReadWide(object, "location", &change->location) || change->location.empty())
        return "has no location";
    std::string state;
    if (!ReadText(object, "state", &state))
        return "has no state";
    bool known = false;
    for (std::size_t i = 0; i < std::size(STATE_NAMES); ++i) {
        if (state == STATE_NAMES[i]) {
            change->state = static_cast<ChangeState>(i);
            known = true;
        }
    }
    if (!known)
        return "has a state of another kind";
    if (!ReadOptionalWide(object, "copy", &change->copy) || !ReadOptionalWide(object, "why", &change->why))
        return "has a copy or why that is no text";
    if (change->kind == "scheduled-task") {
        const JsonValue* task = FindJsonMember(object, "task");
        std::string before, after;
        if (!task || !task->IsObject() || !ReadText(*task, "definition", &before) ||
            !FromHexText(before, &change->taskDefinition) || change->taskDefinition.empty() ||
            !ReadText(*task, "definitionAfter", &after) || !FromHexText(after, &change->taskDefinitionAfter))
            return "says incompletely what the task was";
        return "";
    }
    if (IsValueKind(change->kind)) {
        const JsonValue* value = FindJsonMember(object, "value");
        const JsonValue* machine = value && value->IsObject() ? FindJsonMember(*value, "machine") : nullptr;
        const JsonValue* type = value && value->IsObject() ? FindJsonMember(*value, "type") : nullptr;
        std::string data;
        if (!machine || !machine->IsBool() || !type || !type->IsUint() || !ReadWide(*value, "key", &change->valueKey) ||
            change->valueKey.empty() || !ReadWide(*value, "name", &change->valueName) ||
            !ReadText(*value, "data", &data) || !FromHexText(data, &change->valueData))
            return "says incompletely what was deleted";
        change->machine = machine->GetBool();
        change->valueType = type->GetUint();
        if (IsWholeKey(*change) && !ReadKeyValues(FindJsonMember(*value, "values"), &change->keyValues))
            return "says incompletely what was deleted";
        return "";
    }
    if (change->kind == "startup-item" || change->kind == "firefox-policies-file")
        return change->copy.empty() ? "says not where the item was moved" : "";
    if (const JsonValue* row = FindJsonMember(object, "row")) {
        FirefoxPermissionRow& read = change->firefoxRow;
        std::pair<const char*, int64_t*> numbers[] = {{"id", &read.id},
                                                      {"permission", &read.permission},
                                                      {"expireType", &read.expireType},
                                                      {"expireTime", &read.expireTime},
                                                      {"modificationTime", &read.modificationTime}};
        if (change->kind != "site-permission" || !row->IsObject() || !ReadText(*row, "origin", &read.origin) ||
            !ReadText(*row, "type", &read.type) || read.type.empty())
            return "says incompletely what row was deleted";
        for (const auto& number : numbers) {
            const JsonValue* value = FindJsonMember(*row, number.first);
            if (!value || !value->IsInt64())
                return "says incompletely what row was deleted";
            *number.second = value->GetInt64();
        }
        return change->copy.empty() ? "says not where the database was copied" : "";
    }
    if (!ReadOptionalWide(object, "written", &change->written))
        return "has a written that is no text";
    if (change->kind == "startup-page")
        return change->copy.empty() || change->written.empty() ? "says not where the old file was kept" : "";
    if (change->kind == "firefox-prefs") {
        const JsonValue* statement = FindJsonMember(object, "statement");
        const JsonValue* offset = statement && statement->IsObject() ? FindJsonMember(*statement, "offset") : nullptr;
        std::string text, before, after;
        if (!offset || !offset->IsUint64() || !ReadText(*statement, "text", &text) ||
            !FromHexText(text, &change->statement) || change->statement.empty() ||
            !ReadText(*statement, "before", &before) || !FromHexText(before, &change->textBefore) ||
            !ReadText(*statement, "after", &after) || !FromHexText(after, &change->textAfter) ||
            change->written.empty())
            return "says incompletely what was removed";
        change->offset = offset->GetUint64();
        return "";
    }
    if (const JsonValue* removed = FindJsonMember(object, "removed")) {
        const JsonValue* allSites = FindJsonMember(*removed, "allSites");
        const JsonValue* value = FindJsonMember(*removed, "value");
        if (!removed->IsObject() || !ReadText(*removed, "permission", &change->grant.permission) ||
            change->grant.permission.empty() || !ReadText(*removed, "name", &change->grant.member) || !allSites ||
            !allSites->IsBool() || !value || !SerializeJson(*value, &change->grant.value))
            return "says incompletely what was removed";
        change->grant.allSites = allSites->GetBool();
        return "";
    }
    const JsonValue* changed = FindJsonMember(object, "changed");
    if (!changed || !changed->IsObject() || !ReadWide(*changed, "oldArguments", &change->oldArguments) ||
        !ReadWide(*changed, "newArguments", &change->newArguments))
        return "says nothing of what was removed or changed";
    return "";
}

bool ReadKeyValues(const JsonValue* values, std::vector<RecordedValue>* read) {
    if (!values || !values->IsArray())
        return false;
    for (rapidjson::SizeType i = 0; i < values->Size(); ++i) {
        const JsonValue& one = (*values)[i];
        RecordedValue value;
        std::string data;
        const JsonValue* type = one.IsObject() ? FindJsonMember(one, "type") : nullptr;
        if (!type || !type->IsUint() || !ReadWide(one, "name", &value.name) || !ReadText(one, "data", &data) ||
            !FromHexText(data, &value.data))
            return false;
        value.type = type->GetUint();
        read->push_back(std::move(value));
    }
    return true;
}

}  // namespace

const char* ChangeStateName(ChangeState state) {
    return STATE_NAMES[static_cast<int>(state)];
}

std::string ChangeRecordJson(const ChangeRecord& record) {
    return WriteJsonDocument(CHANGES_SCHEMA, [&record](JsonWriter& writer) {
        if (record.preview) {
            writer.Key("preview");
            writer.Bool(true);
        }
        WriteJsonField(writer, "started", record.started);
        WriteJsonArray(writer, "changes", record.changes,
                       [&writer, &record](const ChangeEntry& change) { WriteEntry(writer, change, record.preview); });
    });
}

bool ParseChangeRecord(const std::string& bytes, ChangeRecord* record, std::wstring* why) {
    *record = ChangeRecord();
    JsonDocument document;
    if (bytes.size() > MAX_CHANGE_RECORD_BYTES) {
        *why = L"too large";
        return false;
    }
    if (ParseJsonObjectExactly(bytes, &document) != JsonLoad::Done) {
        *why = L"not JSON (cut short or damaged)";
        return false;
    }
    std::string schema;
    if (!ReadText(document, "schema", &schema) || schema != CHANGES_SCHEMA) {
        *why = L"another schema: " + MaskUnsafeCharacters(Utf8ToWide(schema.substr(0, 60)));
        return false;
    }
    const JsonValue* changes = FindJsonMember(document, "changes");
    if (!ReadOptionalWide(document, "started", &record->started) || !changes || !changes->IsArray()) {
        *why = L"no list of changes";
        return false;
    }
    for (rapidjson::SizeType i = 0; i < changes->Size(); ++i) {
        ChangeEntry change;
        const char* problem = ReadEntry((*changes)[i], &change);
        if (*problem) {
            *why = FormatWide(L"change %u ", i + 1) + Utf8ToWide(problem);
            *record = ChangeRecord();
            return false;
        }
        record->changes.push_back(std::move(change));
    }
    return true;
}
