// The trace lines of qxhost --trace.
#include "trace.h"

#include "gbktext.h"

#include <winapi_desktop.h>
#include <winapi_host.h>

#include <cstdio>
#include <cstring>

namespace {

std::string field(const char* text, size_t size) { return std::string(text, strnlen(text, size)); }

std::string number(long long value) { return std::to_string(value); }

}  // namespace

std::string jsonString(const std::string& gbk) {
    const std::string utf8 = gbkToUtf8(gbk);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// The active dialog, as both runners report it: its title and the control with the focus.
std::string dialogJson() {
    const OpenDialog d = describeOpenDialog();
    if (!d.open) return "null";
    return "{\"title\":" + jsonString(d.title) + ",\"focus\":" + std::to_string(d.focus) +
           ",\"focusText\":" + jsonString(d.focusText) + "}";
}

TraceMarks traceMarks() { return TraceMarks{winapiBeeps().size(), winapiDesktopEvents().size()}; }

std::string traceLine(const HostSession& session, const ScriptKey& key, const std::vector<KeyEvent>& events,
                      const TraceMarks& before) {
    std::string line = "{\"key\":" + jsonString(key.text);
    const bool taken = !events.empty() && events.back().taken;
    line += std::string(",\"taken\":") + (taken ? "true" : "false");
    line += ",\"messages\":" + messagesJson(events);

    if (const EngineContext* c = session.engine) {
        line += ",\"code\":" + jsonString(field(c->code, sizeof c->code));
        line += ",\"displayLine\":" + jsonString(field(c->displayLine, sizeof c->displayLine));
        line += ",\"cells\":[";
        const int last = c->lastCell < 0 ? 0 : (c->lastCell > 16 ? 16 : c->lastCell);
        for (int i = 0; i <= last; ++i) {
            if (i > 0) line += ',';
            line += jsonString(field(c->cells[i], sizeof c->cells[i]));
        }
        line += "]";
        if (const ShapeCodeState* s = session.shapeCode)
            line += ",\"messageLine\":" + jsonString(field(s->messageLine, sizeof s->messageLine));
        line += ",\"rows\":[";
        for (int k = 0; k < 10; ++k) {
            if (k > 0) line += ',';
            line += "[" + jsonString(field(c->rowText[k], sizeof c->rowText[k])) + "," +
                    jsonString(field(c->rowNote[k], sizeof c->rowNote[k])) + "]";
        }
        line += "]";
        line += ",\"modeInput\":" + jsonString(field(c->modeInput, sizeof c->modeInput));
        line += ",\"chineseMode\":" + number(c->chineseMode);
    }
    line += ",\"visible\":[";
    bool first = true;
    for (const std::string& name : visibleModuleWindows()) {
        if (!first) line += ',';
        first = false;
        line += jsonString(name);
    }
    line += "]";
    line += ",\"dialog\":" + dialogJson();

    line += ",\"beeps\":[";
    const std::vector<WinapiBeep> beeps = winapiBeeps();
    for (size_t i = before.beeps; i < beeps.size(); ++i) {
        if (i > before.beeps) line += ',';
        const WinapiBeep& b = beeps[i];
        line += b.messageBeep ? "{\"messageBeep\":" + number(static_cast<long long>(b.type)) + "}"
                              : "{\"frequency\":" + number(b.frequency) + ",\"duration\":" + number(b.duration) + "}";
    }
    line += "]";
    std::string boxes, programs;
    const std::vector<WinapiDesktopEvent>& events2 = winapiDesktopEvents();
    for (size_t i = before.desktopEvents; i < events2.size(); ++i) {
        const WinapiDesktopEvent& e = events2[i];
        if (e.kind == "messagebox") boxes += (boxes.empty() ? "" : ",") + jsonString(e.text);
        if (e.kind == "winexec") programs += (programs.empty() ? "" : ",") + jsonString(e.text);
    }
    line += ",\"messageBoxes\":[" + boxes + "],\"programs\":[" + programs + "]";
    line += ",\"text\":" + jsonString(session.ime.typist ? session.ime.typist->text() : std::string());
    return line + "}";
}

std::string closingLine(HWND modal, const char* how) {
    char title[256] = {};
    GetWindowTextA(modal, title, sizeof title);
    return std::string("{\"closing\":") + jsonString(title) + ",\"by\":" + jsonString(how) + "}";
}
