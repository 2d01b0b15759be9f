#include "JsonOutput.h"

#include "JsonText.h"

void JsonOutput::Line(const std::string& object)
{
    std::fprintf(m_out, "%s\n", object.c_str());
    std::fflush(m_out);
}

void JsonOutput::Message(const std::string& text)
{
    Line("{\"type\":\"message\",\"text\":" + JsonString(text) + "}");
}

void JsonOutput::Status(const ProgressState& state)
{
    Line("{\"type\":\"status\",\"text\":" + JsonString(state.status) + "}");
}

void JsonOutput::Range(const ProgressState& state)
{
    Line("{\"type\":\"range\",\"low\":0,\"high\":" + std::to_string(state.high) + "}");
}

void JsonOutput::Position(const ProgressState& state)
{
    std::string object = "{\"type\":\"position\",\"position\":" + std::to_string(state.position);
    if (state.transfer && state.bytesTotal > 0)
        object += ",\"bytes\":" + std::to_string(state.bytesDone) + ",\"total_bytes\":" +
                  std::to_string(state.bytesTotal);
    Line(object + "}");
}

void JsonOutput::Result(const RunResult& result)
{
    std::string object = "{\"type\":\"result\",\"exit\":" + std::to_string(result.exitCode) +
                         ",\"completed\":" + (result.completed ? "true" : "false");
    if (!result.interruption.empty())
        object += ",\"stopped_by\":" + JsonString(result.interruption);
    Line(object + "}");
}
