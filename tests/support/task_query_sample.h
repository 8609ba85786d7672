#pragma once
// What "schtasks /query /fo LIST /v" prints for the weekly task, as Windows 7 lays it out: English
// labels, values in one column, a password in the task's action.
namespace kestrine::test {

inline constexpr const char* kTaskQueryList =
    "\r\n"
    "Folder: \\\r\n"
    "HostName:                             SCRATCHPC\r\n"
    "TaskName:                             \\Kestrine AutoBackup\r\n"
    "Next Run Time:                        12/9/2026 9:00:00 AM\r\n"
    "Status:                               Ready\r\n"
    "Logon Mode:                           Interactive only\r\n"
    "Last Run Time:                        12/2/2026 9:00:01 AM\r\n"
    "Last Result:                          1\r\n"
    "Author:                               SCRATCHPC\\sam\r\n"
    "Task To Run:                          \"C:\\Program Files\\Kestrine\\kestrine.exe\" "
    "sf=Outlookxm=111111111ps=secret 1bf=D:\\Backup\\kestrine-Outlook.ksx\r\n"
    "Start In:                             N/A\r\n"
    "Comment:                              N/A\r\n"
    "Scheduled Task State:                 Enabled\r\n"
    "Idle Time:                            Disabled\r\n"
    "Power Management:                     Stop On Battery Mode\r\n"
    "Run As User:                          sam\r\n"
    "Delete Task If Not Rescheduled:       Enabled\r\n"
    "Stop Task If Runs X Hours and X Mins: 72:00:00\r\n"
    "Schedule:                             Scheduling data is not available in this format.\r\n"
    "Schedule Type:                        Weekly\r\n"
    "Start Time:                           9:00:00 AM\r\n"
    "Start Date:                           12/7/2026\r\n"
    "End Date:                             N/A\r\n"
    "Days:                                 MON, WED\r\n"
    "Months:                               Every 1 week(s)\r\n"
    "Repeat: Every:                        Disabled\r\n";

}  // namespace kestrine::test
