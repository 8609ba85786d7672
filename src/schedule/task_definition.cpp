#include "schedule/task_definition.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "base/utf.h"
#include "schedule/task_commands.h"

namespace kestrine::schedule {

namespace {

bool IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[(month + 11) % 12];
}

}  // namespace

std::string XmlEscaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else
            out += c;
    }
    return out;
}

std::string FirstStartDate(const platform::LocalTime& now, std::string_view startTime) {
    int year = now.year, month = now.month, day = now.day;
    const int hour =
        startTime.size() >= 5 ? std::atoi(std::string(startTime.substr(0, 2)).c_str()) : 0;
    const int minute =
        startTime.size() >= 5 ? std::atoi(std::string(startTime.substr(3, 2)).c_str()) : 0;
    if (now.hour * 60 + now.minute >= hour * 60 + minute && ++day > DaysInMonth(year, month)) {
        day = 1;
        if (++month > 12) {
            month = 1;
            ++year;
        }
    }
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02d-%02d", year, month, day);
    return out;
}

std::string TaskDefinitionXml(const TaskDefinition& task, const platform::LocalTime& now) {
    static const char* const kDays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                        "Friday", "Saturday", "Sunday"};
    bool anyDay = false;
    for (bool day : task.days) anyDay = anyDay || day;
    std::string days;
    for (size_t i = 0; i < 7; ++i)
        if (task.days[i] || !anyDay) days += std::string("          <") + kDays[i] + " />\r\n";
    const std::string user = XmlEscaped(task.userId);
    const std::string limit = "PT" + std::to_string(task.timeLimitHours) + "H";
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           "<Task version=\"1.2\" "
           "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
           "  <RegistrationInfo>\r\n"
           "    <Author>" +
           user +
           "</Author>\r\n"
           "    <Description>Kestrine's weekly backup of the Outlook profile " +
           XmlEscaped(task.profile) +
           ".</Description>\r\n"
           "  </RegistrationInfo>\r\n"
           "  <Triggers>\r\n"
           "    <CalendarTrigger>\r\n"
           "      <StartBoundary>" +
           FirstStartDate(now, task.startTime) + "T" + task.startTime +
           ":00</StartBoundary>\r\n"
           "      <Enabled>true</Enabled>\r\n"
           "      <ScheduleByWeek>\r\n"
           "        <WeeksInterval>1</WeeksInterval>\r\n"
           "        <DaysOfWeek>\r\n" +
           days +
           "        </DaysOfWeek>\r\n"
           "      </ScheduleByWeek>\r\n"
           "    </CalendarTrigger>\r\n"
           "  </Triggers>\r\n"
           "  <Principals>\r\n"
           "    <Principal id=\"Author\">\r\n"
           "      <UserId>" +
           user +
           "</UserId>\r\n"
           "      <LogonType>InteractiveToken</LogonType>\r\n"
           "      <RunLevel>LeastPrivilege</RunLevel>\r\n"
           "    </Principal>\r\n"
           "  </Principals>\r\n"
           "  <Settings>\r\n"
           "    <MultipleInstancesPolicy>IgnoreNew</MultipleInstancesPolicy>\r\n"
           "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
           "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
           "    <AllowHardTerminate>true</AllowHardTerminate>\r\n"
           "    <StartWhenAvailable>true</StartWhenAvailable>\r\n"
           "    <RunOnlyIfNetworkAvailable>false</RunOnlyIfNetworkAvailable>\r\n"
           "    <AllowStartOnDemand>true</AllowStartOnDemand>\r\n"
           "    <Enabled>true</Enabled>\r\n"
           "    <Hidden>false</Hidden>\r\n"
           "    <RunOnlyIfIdle>false</RunOnlyIfIdle>\r\n"
           "    <WakeToRun>false</WakeToRun>\r\n"
           "    <ExecutionTimeLimit>" +
           limit +
           "</ExecutionTimeLimit>\r\n"
           "    <Priority>7</Priority>\r\n"
           "  </Settings>\r\n"
           "  <Actions Context=\"Author\">\r\n"
           "    <Exec>\r\n"
           "      <Command>\"" +
           XmlEscaped(task.programPath) +
           "\"</Command>\r\n"
           "      <Arguments>" +
           XmlEscaped(UnattendedTail(task.profile, task.mask, task.password, task.archive)) +
           "</Arguments>\r\n"
           "    </Exec>\r\n"
           "  </Actions>\r\n"
           "</Task>\r\n";
}

std::string TaskDefinitionFile(const TaskDefinition& task, const platform::LocalTime& now) {
    const std::vector<uint8_t> bytes =
        base::Utf16ToBytes(base::Utf8ToUtf16(TaskDefinitionXml(task, now)));
    return std::string("\xff\xfe") + std::string(bytes.begin(), bytes.end());
}

}  // namespace kestrine::schedule
