#!/usr/bin/env bash
# Applies plausible faults to src/ one at a time, rebuilds the test programs that the changed file feeds,
# runs them, and counts how many faults the tests catch. The source is always restored.
#
#   scripts/mutation-check.sh [BUILD_DIR] [ID_REGEX]
#
# BUILD_DIR defaults to build (configured as in the README). ID_REGEX selects mutants by id, for re-checking
# a few. A mutant whose pattern no longer matches exactly once is reported as "stale" and not counted; one that
# does not compile is reported as "nobuild" and not counted either. Not part of the regular test command.
set -u

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
FILTER=${2:-.}
JOBS=${MUTATION_JOBS:-2}
LOGS=$(mktemp -d /tmp/mutation-check.XXXXXX)
SAVED=""
SAVED_COPY=$LOGS/original

restore() {
    if [ -n "$SAVED" ]; then
        cp -p "$SAVED_COPY" "$SAVED"
        touch "$SAVED" # newer than the mutant's object files, so the next build compiles it again
        SAVED=""
    fi
}
trap restore EXIT
trap 'restore; exit 130' INT TERM

# Faults that survive, kept in the list so that a change that makes them visible shows:
# - atomic-no-fsync: a missing flush to disk shows only when the machine loses power.
# - r-n-wl-zero-timeout-registered: the idle monitor never asks for a timeout of 0 (it takes the default).
# - r-n-reminder-over-idle-question: the idle question is modal, and a modal window already holds the reminder.
# - r-n-facts-folder-inode-unchecked: a folder put in the place of another holds files with other inodes and
#   change times, which each file's own key already tells.
# - r-n-tray-submenus-fit-row: the separator under the recent tasks is counted as a whole row; with one row less
#   it fits the column's slack on the screens tried, and a test would depend on a theme's pixel heights.
# - r-overlap-own-task: the same as the code it replaces, since the task's own file is then never loaded.
# - r-terminate-exit-question-stays: caught by the end-to-end test of "kelmora /t" under an exit question
#   (Desktop.ExitWithARunningTask_...), which this script does not run.
#
# id @@ file @@ test targets @@ text @@ replacement   ("<NL>" in text or replacement stands for a line break)
MUTANTS=$(
    cat <<'EOF'
merge-touching    @@ src/model/task.cpp @@ model_tests cli_tests @@ if (overlap.stop > overlap.start) { @@ if (!(overlap.start > overlap.stop)) {
period-touching   @@ src/model/timelog.cpp @@ model_tests reports_tests cli_tests @@ return overlap.stop > overlap.start; @@ return !(overlap.start > overlap.stop);
log-tie-order     @@ src/model/timelog.cpp @@ model_tests reports_tests cli_tests @@ (start == other.start && position < other.position) @@ (start == other.start && position > other.position)
log-insert-tie    @@ src/model/timelog.cpp @@ model_tests reports_tests cli_tests @@ std::upper_bound(m_entries.begin() @@ std::lower_bound(m_entries.begin()
html-escape-lt    @@ src/model/timelog.cpp @@ model_tests reports_tests cli_tests @@ result += "&lt;"; @@ result += "<";
file-read-order   @@ src/model/task.cpp @@ model_tests cli_tests @@ !reader.ReadI32(interval.start.days) || !reader.ReadI32(interval.start.ms) ||<NL>            !reader.ReadI32(interval.stop.days) || !reader.ReadI32(interval.stop.ms) @@ !reader.ReadI32(interval.stop.days) || !reader.ReadI32(interval.stop.ms) ||<NL>            !reader.ReadI32(interval.start.days) || !reader.ReadI32(interval.start.ms)
file-write-order  @@ src/model/task.cpp @@ model_tests cli_tests @@ interval.start.Write(writer);<NL>        interval.stop.Write(writer); @@ interval.stop.Write(writer);<NL>        interval.start.Write(writer);
file-name-zero    @@ src/model/taskfile.cpp @@ model_tests cli_tests @@ name.resize(zero); @@ name.erase(zero, 1);
week-first-day    @@ src/model/timestamp.cpp @@ model_tests cli_tests @@ const int base = baseDay == 19'971'201 ? 1 : 0; @@ const int base = baseDay == 19'971'201 ? 0 : 1;
week-start        @@ src/model/task.cpp @@ model_tests cli_tests @@ start = LocalMidnight(now, now.weekday - 1); @@ start = LocalMidnight(now, now.weekday);
month-start       @@ src/model/task.cpp @@ model_tests cli_tests @@ start = LocalMidnight(now, now.day - 1); @@ start = LocalMidnight(now, now.day);
day-start-repeat  @@ src/model/timestamp.cpp @@ model_tests cli_tests @@ (!found || candidate < utc) @@ (!found || candidate > utc)
day-start-skipped @@ src/model/timestamp.cpp @@ model_tests cli_tests @@     utc = high;<NL>    return LocalTimeKind::Skipped; @@     utc = low;<NL>    return LocalTimeKind::Skipped;
span-100-hours    @@ src/model/timestamp.cpp @@ model_tests cli_tests @@ if (hours < 0 || hours > 99) { @@ if (hours < 0 || hours > 100) {
leap-february     @@ src/model/timestamp.cpp @@ model_tests cli_tests @@ if (leap && month <= 2) { @@ if (leap && month < 2) {
xml-escape-escape @@ src/model/xml.cpp @@ model_tests hotkeys_tests @@ if (c == kXmlEscapeChar || special.find(c) != npos || @@ if (special.find(c) != npos ||
xml-instr-question @@ src/model/xml.cpp @@ model_tests hotkeys_tests @@ instruction ? 2 : 1 @@ instruction ? 1 : 1
xml-unescape      @@ src/model/xml.cpp @@ model_tests hotkeys_tests @@         if (m_text[i] == m_escape) {<NL>            ++i; @@         if (m_text[i] == m_escape && i + 1 == to) {<NL>            ++i;
atomic-ignore-write @@ src/model/atomicfile.cpp @@ model_tests @@ [contents](int fd) { return WriteAll(fd, contents); } @@ [contents](int fd) { WriteAll(fd, contents); return true; }
atomic-no-fsync   @@ src/model/atomicfile.cpp @@ model_tests @@     if (options.durable && ::fsync(fd.Get()) != 0) {<NL>        return fail("cannot flush to disk");<NL>    } @@
zone-hour-cache   @@ src/model/timestamp.cpp @@ model_tests cli_tests @@ if (first.valid && last.valid && first.utcOffset == last.utcOffset && first.daylight == last.daylight) { @@ if (first.valid && last.valid) {
xml-quote-option  @@ src/model/xml.cpp @@ model_tests hotkeys_tests @@ const char quoteSpecial[] = {options.quoteChar, '?', '\0'}; @@ const char quoteSpecial[] = {'"', '?', '\0'};
name-max-bytes    @@ src/model/taskfile.cpp @@ model_tests cli_tests @@ if (name.size() > kMaxNameBytes) { @@ if (name.size() >= kMaxNameBytes) {
cli-skip-message  @@ src/cli/clicommon.cpp @@ cli_tests @@ does not exist in this time zone (the clocks skip it).\n"; @@ does not exist in this time zone.\n";
cli-report-custom @@ src/cli/reportcommand.cpp @@ cli_tests @@ page = reports::PreparePeriodReport(session.store, *period); @@ page = reports::PrepareFullReport(session.store);
cli-log-html-line @@ src/cli/logcommands.cpp @@ cli_tests @@         if (args.format == "html") {<NL>            out << '\n';<NL>        } @@
cli-log-format-check @@ src/cli/logcommands.cpp @@ cli_tests @@ ->check(OneOf({"tsv", "html", "csv", "json"}, "format")); @@ ;
exec-percent      @@ src/platform/inisettingsstore.cpp @@ platform_tests @@ if (c == '%') { @@ if (c == '%' && needsQuotes) {
autostart-dangling @@ src/platform/inisettingsstore.cpp @@ platform_tests @@ fs::exists(fs::symlink_status(m_autostartFile, ec)) @@ fs::exists(m_autostartFile, ec)
settings-remind-default @@ src/platform/settingsstore.h @@ platform_tests idle_tests @@ kRemindTimeout{"RemindTimeout", 300} @@ kRemindTimeout{"RemindTimeout", 600}
settings-missing  @@ src/platform/inisettingsstore.cpp @@ platform_tests @@ .value_or(defaultValue); @@ .value_or(0);
settings-plus     @@ src/platform/inisettingsstore.cpp @@ platform_tests @@ if (first != last && *first == '-') { @@ if (first != last && *first == '+') {
autostart-quote   @@ src/platform/inisettingsstore.cpp @@ platform_tests @@ return kReserved.find(c) != std::string_view::npos; @@ return kReserved.find(c) != std::string_view::npos && c != '$';
idle-default      @@ src/idle/idlemonitor.h @@ idle_tests @@ kDefaultTimeoutSeconds = 120; @@ kDefaultTimeoutSeconds = 60;
idle-boundary     @@ src/idle/idlemonitor.cpp @@ idle_tests @@ if (m_watching && effectiveMs / 1000 > timeoutSeconds) { @@ if (m_watching && effectiveMs / 1000 >= timeoutSeconds) {
reminder-spacing  @@ src/idle/reminder.cpp @@ idle_tests @@ now - lastEnd > timeout && now - m_lastShown > timeout @@ now - lastEnd > timeout
reminder-units    @@ src/idle/reminder.cpp @@ idle_tests @@ timeout(0, timeoutSeconds * 1000) @@ timeout(0, timeoutSeconds * 100)
tray-quick-reversed @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ AddTaskItems(*m_menu, true, RowsOnScreen() - kQuickMenuOwnRows); @@ AddTaskItems(*m_menu, false, RowsOnScreen() - kQuickMenuOwnRows);
switch-stops-previous @@ src/model/taskops.cpp @@ model_tests cli_tests app_tests app_widget_tests @@         CloseRunning(tasks[static_cast<std::size_t>(running)], now);<NL>        changed[static_cast<std::size_t>(running)] = true;<NL>    }<NL>    target->intervals.Append @@     }<NL>    target->intervals.Append
rollback-second-pieces @@ src/app/rollbackdlg.cpp @@ app_tests app_widget_tests @@             if (LastsASecond(piece)) { @@             if (true) {
settings-max-minutes @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ minutes >= kMinMinutes && minutes <= kMaxMinutes @@ minutes >= kMinMinutes && minutes < kMaxMinutes
follow-keeps-state @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests @@     m_folderState = state;<NL>    ++m_fileRereads; @@     ++m_fileRereads;
report-name-escape @@ src/reports/reportpage.cpp @@ reports_tests reports_widget_tests @@ page += model::HtmlEscape(name); @@ page += name;
ui-create-start-position @@ src/ui/taskdialogs.cpp @@ ui_tests @@ app::SwitchToTask(m_app, store.IndexOfTask(id)); @@ app::SwitchToTask(m_app, id);
ui-category-sort-case @@ src/ui/categorydialogs.cpp @@ ui_tests @@ QString::compare(left.first, right.first, Qt::CaseInsensitive) @@ QString::compare(left.first, right.first)
pass-time-sort-case @@ src/app/tracking.cpp @@ ui_tests @@ a.name.compare(b.name, Qt::CaseInsensitive) < 0 @@ a.name.compare(b.name) < 0
ui-period-stored  @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ platform::SetSetting(m_app.Settings(), platform::setting::kPeriod, m_periodCombo->currentIndex()); @@ static_cast<void>(0);
ui-sort-flip-reset @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ m_sortDescending = column == m_sortColumn ? !m_sortDescending : false; @@ m_sortDescending = !m_sortDescending;
ui-edit-refill    @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ m_dialogs.editTask(id, this);<NL>    }<NL>    RefillTaskList(); @@ m_dialogs.editTask(id, this);<NL>    }
modeless-unminimise @@ src/ui/modelessdialog.cpp @@ ui_tests @@ setWindowState(windowState() & ~Qt::WindowMinimized); @@ setWindowState(windowState());
tasklist-hide-no-tray @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ if (!m_app.TrayAvailable()) {<NL>        setWindowFlag @@ if (false) {<NL>        setWindowFlag
category-delete-cancel @@ src/ui/categorydialogs.cpp @@ ui_tests @@ if (answer == app::Answer::Cancel) { @@ if (false) {
cli-tasks-period  @@ src/cli/taskcommands.cpp @@ cli_tests @@ range ? task.TotalIn(*range) : task.Total() @@ range ? task.Total() : task.Total()
cli-tasks-period-check @@ src/cli/taskcommands.cpp @@ cli_tests @@ ->check(OneOf(PeriodNames(), "period")); @@ ;
report-charset    @@ src/reports/reportpage.cpp @@ reports_tests reports_widget_tests @@ <head><meta charset=\"utf-8\"></head><body><h1> @@ <head></head><body><h1>
ui-move-keeps-old @@ src/ui/taskdialogs.cpp @@ ui_tests @@ if (category.HasTask(taskId)) { @@ if (true) {
category-delete-stops-other @@ src/ui/categorydialogs.cpp @@ ui_tests @@ category.Load(m_app.DataFolder()) && category.HasTask(current)) { @@ category.Load(m_app.DataFolder())) {
hotkey-file-field @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ hotkey.AppendChild("title", entry.title); @@ hotkey.AppendChild("caption", entry.title);
hotkey-default-key @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ platform::kModAlt | platform::kModShift, 'M'} @@ platform::kModAlt | platform::kModControl, 'M'}
hotkey-mod-order  @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ {{platform::kModControl, "Ctrl+"},<NL>                                                           {platform::kModShift, "Shift+"}, @@ {{platform::kModShift, "Shift+"},<NL>                                                           {platform::kModControl, "Ctrl+"},
cli-usage-exit    @@ src/cli/cli.cpp @@ cli_tests @@     return kExitUsage;<NL>}<NL><NL>} // namespace @@     return kExitFailed;<NL>}<NL><NL>} // namespace
cli-ambiguous-exit @@ src/cli/clicommon.cpp @@ cli_tests @@                     << "; write id:" << text << " or name:" << text << ".\n";<NL>        return kExitUsage; @@                     << "; write id:" << text << " or name:" << text << ".\n";<NL>        return kExitFailed;
cli-interval-number @@ src/cli/intervalcommands.cpp @@ cli_tests @@ text.find_first_not_of('0') == std::string::npos) { @@ false) {
rollback-give-start @@ src/app/rollbackdlg.cpp @@ app_tests app_widget_tests @@ const model::Interval before(WholeSecond(last.start), range.start); @@ const model::Interval before(range.start, WholeSecond(last.start));
stamp-order-ms-first @@ src/model/timestamp.cpp @@ model_tests @@ bool TimeStamp::operator<(const TimeStamp& other) const<NL>{<NL>    return days < other.days || (days == other.days && ms < other.ms); @@ bool TimeStamp::operator<(const TimeStamp& other) const<NL>{<NL>    return ms < other.ms || (ms == other.ms && days < other.days);
stamp-order-equal @@ src/model/timestamp.cpp @@ model_tests @@ bool TimeStamp::operator<(const TimeStamp& other) const<NL>{<NL>    return days < other.days || (days == other.days && ms < other.ms); @@ bool TimeStamp::operator<(const TimeStamp& other) const<NL>{<NL>    return days < other.days || (days == other.days && ms <= other.ms);
weekday-locale-ignored @@ src/model/timestamp.cpp @@ model_tests @@ FloorMod(sundayBased - FirstDayOfWeek(), 7)) + 1; @@ FloorMod(sundayBased, 7)) + 1;
xml-read-assign   @@ src/model/xml.cpp @@ model_tests @@ text.append(chunk.substr(0, chunk.find('\0'))); @@ text.assign(chunk.substr(0, chunk.find('\0')));
terminate-kill-signal @@ src/app/kelmoraapp.cpp @@ e2e_tests @@ ::kill(static_cast<pid_t>(pid), SIGKILL) == 0 @@ ::kill(static_cast<pid_t>(pid), 0) == 0
exit-skips-exitinstance @@ src/ui/program.cpp @@ e2e_tests @@ shortcuts.reset();<NL>    return kelmora.ExitInstance(); @@ shortcuts.reset();<NL>    return 0;
exit-question-default @@ src/app/desktopservices.cpp @@ e2e_tests @@ box->setDefaultButton(QMessageBox::Yes); @@ box->setDefaultButton(QMessageBox::No);
tray-always-assumed @@ src/app/desktopservices.cpp @@ e2e_tests @@ return QSystemTrayIcon::isSystemTrayAvailable(); @@ return true;
idle-source-none  @@ src/ui/program.cpp @@ e2e_tests @@ platform::createIdleTimeSource(), @@ nullptr,
idle-zero-timeout @@ src/idle/idlemonitor.cpp @@ idle_tests @@ if (timeoutSeconds <= 0) { @@ if (timeoutSeconds < 0) {
start-icon-late   @@ src/app/kelmoraapp.cpp @@ e2e_tests @@ if (CurrentTaskId() != -1) {<NL>        PostMessage(m_mainWnd.get(), kMsgTaskState, kRunningIconId); @@ if (false) {<NL>        PostMessage(m_mainWnd.get(), kMsgTaskState, kRunningIconId);
no-tray-word-always @@ src/app/kelmoraapp.cpp @@ e2e_tests @@ if (!TrayAvailable()) {<NL>        // Without a tray @@ if (true) {<NL>        // Without a tray
exit-autostop-asks @@ src/app/kelmoraapp.cpp @@ e2e_tests @@ if (platform::GetSetting(Settings(), platform::setting::kAutoStop) != 0) {<NL>            StopTaskAndSave();<NL>        } else if @@ if (false) {<NL>            StopTaskAndSave();<NL>        } else if
second-start-ignored @@ src/app/kelmoraapp.cpp @@ e2e_tests @@ [this] { PostMessage(m_mainWnd.get(), kMsgShowTaskList); }); @@ [] {});
tray-task-item-dead @@ src/app/trayicon.cpp @@ e2e_tests @@ action->setData(id);<NL>    connect(action, &QAction::triggered, &m_mainWnd, [this, id] { m_mainWnd.OnCommand(id); });<NL>    // The running task @@ action->setData(id);<NL>    // The running task
terminate-spent-time @@ src/app/kelmoraapp.cpp @@ app_widget_tests @@ const int rounds = 10 - static_cast<int>(std::min<std::int64_t>(spent.count(), 10)); @@ const int rounds = 10;
worker-self-join  @@ src/app/worker.cpp @@ app_tests @@ if (m_thread.get_id() == std::this_thread::get_id()) { @@ if (false) {
reminder-remind-one @@ src/idle/reminder.cpp @@ idle_tests @@ platform::setting::kRemind) != 1) { @@ platform::setting::kRemind) == 0) {
idle-length-seconds @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ .arg(seconds % 60) +<NL>                            question); @@ .arg(seconds / 60) +<NL>                            question);
hotkey-save-error-shown @@ src/hotkeys/hotkeyspage.cpp @@ hotkeys_tests @@ .arg(QString::fromStdString(error)) @@ .arg(QString())
w-lock-nested-upgrade @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ if (exclusive && !held->exclusive) { @@ if (false) {
w-lock-always-shared @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB @@ LOCK_SH | LOCK_NB
w-lock-orphans-inverted @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ if (exclusive) {<NL>        RemoveOrphanTemporaries(m_fd); @@ if (!exclusive) {<NL>        RemoveOrphanTemporaries(m_fd);
w-lock-depth-not-counted @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ ++held->depth; @@
w-lock-no-wait    @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ const auto deadline = std::chrono::steady_clock::now() + wait; @@ const auto deadline = std::chrono::steady_clock::now();
w-tmp-any-name    @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ TaskIdFromFileName(target).has_value(); @@ !target.empty();
w-settle-lower-bound @@ src/model/taskops.cpp @@ model_tests cli_tests @@ const auto next = std::upper_bound(starts.begin(), starts.end(), it->start); @@ const auto next = std::lower_bound(starts.begin(), starts.end(), it->start);
w-settle-tie-earlier-task @@ src/model/taskops.cpp @@ model_tests cli_tests @@ std::tie(a.start, a.task, a.index) < std::tie(b.start, b.task, b.index) @@ std::tie(a.start, b.task, a.index) < std::tie(b.start, a.task, b.index)
w-settle-not-saved @@ src/model/taskops.cpp @@ model_tests cli_tests @@         changed[it->task] = true; @@
w-settle-no-move  @@ src/model/taskops.cpp @@ model_tests cli_tests @@ if (running->index != list.Count() - 1) { @@ if (false) {
w-settle-min      @@ src/model/taskops.cpp @@ model_tests cli_tests @@ const auto running = std::max_element(open.begin() @@ const auto running = std::min_element(open.begin()
w-stop-ignores-id @@ src/model/taskops.cpp @@ model_tests cli_tests @@ (id == kAnyTask || tasks[static_cast<std::size_t>(running)].id == id) @@ (id == kAnyTask || tasks[static_cast<std::size_t>(running)].id >= 0)
w-stop-close-at-now @@ src/model/taskops.cpp @@ model_tests cli_tests @@ span.stop = Later(span.start, now); @@ span.stop = Later(now, now);
w-start-target-not-first @@ src/model/taskops.cpp @@ model_tests cli_tests @@ if (!target->Save(dataFolder, error)) {<NL>        return false;<NL>    }<NL>    changed[static_cast<std::size_t>(target - tasks.begin())] = false; @@ changed[static_cast<std::size_t>(target - tasks.begin())] = true;
w-find-earliest   @@ src/model/taskops.cpp @@ model_tests cli_tests @@ last && !last->closed && (found < 0 || !(last->start < latest)) @@ last && !last->closed && (found < 0 || last->start < latest)
w-facts-earliest  @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ if (f.lastOpen && (found < 0 || !(f.lastStart < latest))) { @@ if (f.lastOpen && (found < 0 || f.lastStart < latest)) {
w-facts-no-ctime  @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ if (entry != nullptr && entry->stamp == *stamp) { @@ if (entry != nullptr && entry->stamp.size == stamp->size && entry->stamp.mtimeNs == stamp->mtimeNs) {
w-facts-no-sum    @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ if (!sum.ReadU64(stored) || stored != Checksum(bytes)) { @@ if (!sum.ReadU64(stored)) {
w-facts-unsettled @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ if (stamp->SettledBy(now)) { @@ if (stamp->SettledBy(now) || true) {
w-facts-open-total @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ if (facts.openSpans > 0) { @@ if (facts.openSpans > 1) {
w-facts-whole-past @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ !(facts.earliestStart < period->start) && !(facts.latestStop > periodStop) @@ !(facts.earliestStart < period->start)
w-peek-no-size-limit @@ src/model/taskfile.cpp @@ model_tests cli_tests @@ S_ISREG(info.st_mode) &&<NL>                       static_cast<std::uint64_t>(info.st_size) <= kTaskFileKind.maxBytes; @@ S_ISREG(info.st_mode);
w-peek-empty-count @@ src/model/taskfile.cpp @@ model_tests cli_tests @@ if (count <= 0) {<NL>                result = Interval(); @@ if (count < 0) {<NL>                result = Interval();
w-list-unsorted   @@ src/model/taskfile.cpp @@ model_tests cli_tests @@     std::sort(ids.begin(), ids.end());<NL>    return ids; @@     return ids;
w-read-size-ge    @@ src/model/atomicfile.cpp @@ model_tests cli_tests @@ if (static_cast<std::uint64_t>(info.st_size) > kind.maxBytes) { @@ if (static_cast<std::uint64_t>(info.st_size) >= kind.maxBytes) {
w-filetype-fifo   @@ src/model/atomicfile.cpp @@ model_tests cli_tests @@ return "a FIFO"; @@ return "something other than a file";
w-xml-depth-gt    @@ src/model/xml.cpp @@ model_tests cli_tests @@ if (depth >= kXmlMaxDepth) { @@ if (depth > kXmlMaxDepth) {
w-xml-depth-code  @@ src/model/xml.cpp @@ model_tests cli_tests @@ RecordError(kXmlErrorTooDeep, at, @@ RecordError(kXmlErrorNotClosed, at,
w-category-task-zero @@ src/model/category.cpp @@ model_tests cli_tests @@ taskId && *taskId >= 0 @@ taskId && *taskId > 0
w-delete-file-first @@ src/model/taskstore.cpp @@ model_tests cli_tests @@     if (!RemoveFromCategories(id, error)) {<NL>        return false;<NL>    }<NL>    std::error_code ec;<NL>    fs::remove(TaskPath(m_dataFolder, id), ec); @@     std::error_code ec;<NL>    fs::remove(TaskPath(m_dataFolder, id), ec);<NL>    if (!RemoveFromCategories(id, error)) {<NL>        return false;<NL>    }
w-delete-names-separator @@ src/model/taskstore.cpp @@ model_tests cli_tests @@ names += (names.empty() ? "\"" : ", \"") + name + "\""; @@ names += "\"" + name + "\"";
w-findcat-file-order @@ src/model/taskstore.cpp @@ model_tests cli_tests @@ for (const std::int32_t id : all ? CategoryIds() : std::vector<std::int32_t>()) {<NL>        const auto it = std::find_if(all->begin(), all->end(), [id](const Category& c) { return c.Id() == id; });<NL>        if (it != all->end() && it->HasTask(taskId)) { @@ for (const Category& c : all ? *all : std::vector<Category>()) {<NL>        const std::int32_t id = c.Id();<NL>        if (c.HasTask(taskId)) {
w-path-taken-follows-link @@ src/model/datafolder.cpp @@ model_tests cli_tests @@ return fs::exists(fs::symlink_status(path, ec)); @@ return fs::exists(path, ec);
w-cli-status-writes @@ src/cli/cli.cpp @@ cli_tests @@ "categories", "status"} @@ "categories"}
w-cli-catids-create @@ src/cli/cli.cpp @@ cli_tests @@ store.LoadCategoryIds(&error, writes) @@ store.LoadCategoryIds(&error, true)
w-cli-readers-exclusive @@ src/cli/cli.cpp @@ cli_tests @@ writes ? model::FolderLock::Mode::Exclusive : model::FolderLock::Mode::Shared @@ model::FolderLock::Mode::Exclusive
w-term-cr-escaped @@ src/cli/clicommon.cpp @@ cli_tests @@ byte != '\t' && byte != '\n' && byte != '\r' @@ byte != '\t' && byte != '\n'
w-term-c1-last    @@ src/cli/clicommon.cpp @@ cli_tests @@ byte >= 0x80 && byte <= 0x9F @@ byte >= 0x80 && byte < 0x9F
w-term-del        @@ src/cli/clicommon.cpp @@ cli_tests @@ || byte == 0x7F) { @@ ) {
w-term-c2-lost    @@ src/cli/clicommon.cpp @@ cli_tests @@         m_target.sputc(static_cast<char>(0xC2));<NL>    }<NL>    if (byte == 0xC2) { @@     }<NL>    if (byte == 0xC2) {
w-cli-stop-none-ok @@ src/cli/taskcommands.cpp @@ cli_tests @@ session.err << "No started tasks\n";<NL>        return kExitFailed; @@ session.err << "No started tasks\n";<NL>        return kExitOk;
w-cli-delete-stops-other @@ src/cli/taskcommands.cpp @@ cli_tests @@ if (loaded && !StopRunning(session, id)) { @@ if (loaded && !StopRunning(session, model::kAnyTask)) {
w-report-missing-catalogue-named @@ src/reports/reportpage.cpp @@ reports_tests cli_tests @@ if (categories || !model::PathTaken(model::CatalogPath(data.DataFolder()))) { @@ if (categories) {
r-report-cat-not-marked @@ src/reports/reportpage.cpp @@ reports_tests reports_widget_tests cli_tests @@     } else {<NL>        data.MarkUnreadable(model::CatalogPath(data.DataFolder()));<NL>    } @@     }
r-report-cat-text-inverted @@ src/reports/report.cpp @@ reports_widget_tests @@ if (!report.categoriesError.empty()) { @@ if (report.categoriesError.empty()) {
r-report-warning-icon @@ src/reports/report.cpp @@ reports_widget_tests @@ app.ShowMessage(owner, text, QStringLiteral("Report"), app::MessageIcon::Warning); @@ app.ShowMessage(owner, text, QStringLiteral("Report"), app::MessageIcon::Error);
r-report-picker-drops-seconds @@ src/reports/report.cpp @@ reports_widget_tests @@ QTime(parts.hour, parts.minute, parts.second, value.ms % 1000) @@ QTime(parts.hour, parts.minute)
r-report-read-drops-seconds @@ src/reports/report.cpp @@ reports_widget_tests @@ clock.hour(), clock.minute(), clock.second(), @@ clock.hour(), clock.minute(), 0,
r-export-skipped-inverted @@ src/reports/export.cpp @@ reports_widget_tests @@ if (!complete) { @@ if (complete) {
r-export-not-document @@ src/reports/export.cpp @@ reports_widget_tests @@ model::WriteOptions{true})) { @@ model::WriteOptions{false})) {
r-atomic-mode-0644 @@ src/model/atomicfile.cpp @@ model_tests reports_tests reports_widget_tests cli_tests ui_tests @@ O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); @@ O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
r-atomic-link-not-followed @@ src/model/atomicfile.cpp @@ model_tests reports_widget_tests cli_tests @@ if (options.userDocument && !FollowLinks(path)) { @@ if (false && !FollowLinks(path)) {
r-atomic-relative-link-cwd @@ src/model/atomicfile.cpp @@ model_tests reports_widget_tests cli_tests @@ path = target.is_absolute() ? target : path.parent_path() / target; @@ path = target;
r-atomic-private-inverted @@ src/model/atomicfile.cpp @@ model_tests reports_widget_tests cli_tests @@     if (!userDocument) {<NL>        return ::mkostemp @@     if (userDocument) {<NL>        return ::mkostemp
r-migrate-idx-despite-left @@ src/model/datafolder.cpp @@ model_tests app_tests app_widget_tests @@ } else if (FileExists(executableFolder / "idx")) { @@ }<NL>    if (FileExists(executableFolder / "idx")) {
r-migrate-no-idx-copy @@ src/model/datafolder.cpp @@ model_tests app_tests app_widget_tests @@ WriteFileAtomically(dataFolder / "idx", next); @@ static_cast<void>(next);
r-migrate-left-unnoted @@ src/model/datafolder.cpp @@ model_tests app_tests app_widget_tests @@             left.push_back(name); @@             static_cast<void>(name);
r-cli-single-dash-allowed @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ } else if (argument.size() > 1 && argument.startsWith(u'-')) { @@ } else if (argument.startsWith(QStringLiteral("--"))) {
r-cli-terminate-anywhere @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ result.terminate = words == QStringList{QStringLiteral("/t")}; @@ result.terminate = words.contains(QStringLiteral("/t"));
r-cli-terminate-any-case @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ result.terminate = words == QStringList{QStringLiteral("/t")}; @@ result.terminate = words.size() == 1 && words[0].compare(QStringLiteral("/t"), Qt::CaseInsensitive) == 0;
r-running-empty-folder @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests ui_tests @@ if (!theirs || theirs->isEmpty() || std::filesystem::equivalent( @@ if (!theirs || std::filesystem::equivalent(
r-running-compare-text @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ std::filesystem::equivalent(theirs->toStdString(), folder, error)) { @@ std::filesystem::path(theirs->toStdString()) == folder) {
r-running-text-swapped @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ .arg(runningFolder, QString::fromStdString(folder.string())); @@ .arg(QString::fromStdString(folder.string()), runningFolder);
r-running-exit-zero @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ m_services.showError(AlreadyRunningText(*running, m_dataFolder));<NL>            m_exitCode = 1; @@ m_services.showError(AlreadyRunningText(*running, m_dataFolder));<NL>            m_exitCode = 0;
r-terminate-asks @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ } else if (!m_closedFromOutside &&<NL> @@ } else if (<NL>
r-terminate-exit-question-stays @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests ui_tests @@ if (m_mainWnd->IsClosed()) { @@ if (false) {
r-migrate-error-hidden @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests @@ if (!stayed.empty()) { @@ if (stayed.empty()) {
r-showmessage-icon-dropped @@ src/app/kelmoraapp.cpp @@ app_tests app_widget_tests ui_tests reports_widget_tests idle_tests hotkeys_tests @@ m_services.showMessage(owner, text, caption, icon); @@ static_cast<void>(icon);<NL>        m_services.showMessage(owner, text, caption, MessageIcon::Information);
r-follow-modal-no-refill @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@             FollowRunningTask(model::FindRunningTask(fresh));<NL>            if (m_taskList) {<NL>                m_taskList->RefillTaskList();<NL>            } @@             FollowRunningTask(model::FindRunningTask(fresh));
r-msgbox-warning-as-info @@ src/app/desktopservices.cpp @@ app_tests app_widget_tests @@ icon == MessageIcon::Warning ? QMessageBox::Warning @@ icon == MessageIcon::Warning ? QMessageBox::Information
r-idle-choice-by-text @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ return m_taskCombo->currentIndex() >= 0 ? m_taskCombo->currentData().toInt() : -1; @@ return m_taskCombo->currentIndex() >= 0 ? m_taskCombo->itemData(m_taskCombo->findText(m_taskCombo->currentText())).toInt() : -1;
r-idle-second-absence-dropped @@ src/idle/idlesubsystem.cpp @@ idle_tests @@ m_idleDlg->AddAbsence(lParam, endedAt); @@ static_cast<void>(endedAt);
r-idle-message-last-only @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ seconds += absence.seconds; @@ seconds = absence.seconds;
r-idle-start-unclamped @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ const model::TimeStamp idleStart = std::max(returnedAt, endedAt - model::TimeSpan(0, absence.seconds * 1000)); @@ const model::TimeStamp idleStart = endedAt - model::TimeSpan(0, absence.seconds * 1000);
r-idle-receiver-first-part @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ for (const model::Interval& part : idleParts) {<NL>            receiver.intervals.Insert(part);<NL>        } @@ receiver.intervals.Insert(idleParts.front());
r-reminder-from-shown @@ src/idle/reminder.cpp @@ idle_tests @@ m_lastShown = model::TimeStamp::FromUnixMs(m_closedAtMs.load()); @@ static_cast<void>(0);
r-hotkey-shift-enough @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ return (modifiers & (platform::kModAlt | platform::kModControl | platform::kModWin)) != 0; @@ return (modifiers & (platform::kModAlt | platform::kModControl | platform::kModWin | platform::kModShift)) != 0;
r-hotkey-page-zero-only @@ src/hotkeys/hotkeyspage.cpp @@ hotkeys_tests @@ if (!LeavesTypingAlone(modifiers)) { @@ if (modifiers == 0) {
r-hotkey-index-by-position @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests ui_tests @@ LeavesTypingAlone(entry.modifiers) ? static_cast<int>(bindings.size()) : -1; @@ LeavesTypingAlone(entry.modifiers) ? static_cast<int>(i) : -1;
r-hotkey-bare-registered @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ if (m_bindingIndex[i] >= 0) { @@ if (true) {
r-hotkey-all-ignores-left-out @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests ui_tests @@ if (StatusAt(i).state != platform::ShortcutState::Active) { @@ if (m_bindingIndex[static_cast<std::size_t>(i)] >= 0 && StatusAt(i).state != platform::ShortcutState::Active) {
r-create-no-select-all @@ src/ui/taskdialogs.cpp @@ ui_tests @@ m_nameEdit->selectAll(); @@ static_cast<void>(0);
r-overlap-own-task @@ src/app/tracking.cpp @@ app_tests app_widget_tests ui_tests @@ if (id == taskId || !other.Load(app.DataFolder())) { @@ if (id != taskId && !other.Load(app.DataFolder())) {
r-overlap-touching @@ src/app/tracking.cpp @@ app_tests app_widget_tests ui_tests @@ if (!(common.stop > common.start)) { @@ if (common.stop < common.start) {
r-overlap-clock-offset @@ src/app/tracking.cpp @@ app_tests app_widget_tests ui_tests @@ stamp.Format().substr(11) @@ stamp.Format().substr(10)
r-overlap-edit-span-unchecked @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ if (!app::ConfirmOverlap(m_app, nullptr, task.id, edited)) { @@ if (false) {
r-overlap-edit-task-unchecked @@ src/ui/taskdialogs.cpp @@ ui_tests @@ return app::ConfirmOverlap(m_app, &dialog, m_task.id, span); @@ return app::ConfirmOverlap(m_app, &dialog, m_task.id, model::Interval(span.start, span.start));
s-merged-not-saved @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ const bool changed = target == nullptr || !SameSpans(result.intervals, target->intervals); @@ const bool changed = target == nullptr || (false && !SameSpans(result.intervals, target->intervals));
s-cli-doctor-prefolded @@ src/cli/cli.cpp @@ cli_tests @@ copies > 0 && chosenName != "doctor") { @@ copies > 0) {
h-filter-case     @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ .contains(text, Qt::CaseInsensitive); @@ .contains(text);
s-main-busy-no-recheck @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@         m_folderState.clear();<NL>        m_followTimer.start(kSyncQuiet); @@         m_followTimer.start(kSyncQuiet);
h-tray-recent-oldest @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ return a->lastTracked > b->lastTracked; @@ return a->lastTracked < b->lastTracked;
s-clash-keeps-id  @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ result.id = originalExists ? FreshId() : id; @@ result.id = originalExists && false ? FreshId() : id;
s-report-scratch-path @@ src/cli/reportcommand.cpp @@ cli_tests @@         file = session.dataFolder / file.filename();<NL> @@ <NL>
h-hide-no-geometry @@ src/ui/tasklistdlg.cpp @@ ui_tests @@     if (isVisible()) {<NL>        StoreGeometry();<NL>    }<NL>    // Without a tray @@     // Without a tray
s-hotkey-tasklist-hides-covered @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@ if (m_taskList && m_taskList->IsVisible() && !m_taskList->IsInFront()) { @@ if (m_taskList && !m_taskList->IsVisible() && !m_taskList->IsInFront()) {
h-tray-category-dup @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@                     byId.erase(task);<NL> @@ <NL>
s-name-dropbox-numbered @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ \d{4}-\d{2}-\d{2}(?: \(\d+\))?\)(\.[^.]+)?$)"), @@ \d{4}-\d{2}-\d{2}\)(\.[^.]+)?$)"),
s-doctor-damaged-task-ok @@ src/cli/doctorcommand.cpp @@ cli_tests @@             session.out << "damaged\t" << Field(reason) << '\n';<NL>            status = kExitFailed;<NL>        }<NL>    } @@             session.out << "damaged\t" << Field(reason) << '\n';<NL>        }<NL>    }
s-doctor-damaged-exit0 @@ src/cli/doctorcommand.cpp @@ cli_tests @@ int status = folded && report.damaged.empty() ? kExitOk : kExitFailed; @@ int status = folded ? kExitOk : kExitFailed;
h-geometry-right  @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ platform::setting::kRight, client.left() + client.width()); @@ platform::setting::kRight, client.right());
s-hotkey-modal-create @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@ modal != nullptr && (id == kHotkeySettings || id == kHotkeyCreateTask)) { @@ modal != nullptr && (id == kHotkeySettings)) {
h-tray-check-position @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ action->setChecked(task.id == m_mainWnd.App().CurrentTaskId()); @@ action->setChecked(task.position == m_mainWnd.App().CurrentTaskId());
s-unite-reach-in  @@ src/model/syncfold.cpp @@ model_tests cli_tests @@             openStart = span.start; // reaches into the open span: one span from its start @@             // reaches into the open span: one span from its start
s-folded-copy-no-copies @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ if ((IsDataName(name) || ConflictOriginal(name)) && it->is_regular_file(ec) && @@ if (IsDataName(name) && it->is_regular_file(ec) &&
h-enter-hidden-first @@ src/ui/tasklistdlg.cpp @@ ui_tests @@         if (!m_taskView->isRowHidden(row, {})) { @@         if (row >= 0) {
s-main-busy-ignored @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@ if (model::SyncToolBusy(m_app.DataFolder(), model::WallClockNs(), kSyncQuiet)) { @@ if (false && model::SyncToolBusy(m_app.DataFolder(), model::WallClockNs(), kSyncQuiet)) {
h-tray-stop-raw-name @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ QStringLiteral("Sto&p Current Task (%1)").arg(name) @@ QStringLiteral("Sto&p Current Task (%1)").arg(QString::fromStdString(task.name))
s-split-keeps-old @@ src/model/syncfold.cpp @@ model_tests cli_tests @@             changed = category.RemoveTask(id) || changed; @@             changed = changed || category.RemoveTask(id);
s-cli-damaged-unsaid @@ src/cli/cli.cpp @@ cli_tests @@         if (!report.damaged.empty()) { @@         if (false) {
h-period-last-year-lost @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ m_periodCombo->setCurrentIndex(period >= kThisDay && period <= kLastYear ? period : -1); @@ m_periodCombo->setCurrentIndex(period >= kThisDay && period < kLastYear ? period : -1);
s-more-tasks-no-filter @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@             m_taskList->ShowDialog();<NL>            m_taskList->FocusFilter(); @@             m_taskList->ShowDialog();
h-tray-submenu-column @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ ? members.size() : std::size_t(rows - 1); @@ ? members.size() : std::size_t(rows);
s-catalogue-id-clash @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ const bool idFree = CategoryCatalog::FindCategoryElement(*mainList, id) == nullptr; @@ const bool idFree = true || CategoryCatalog::FindCategoryElement(*mainList, id) == nullptr;
h-last-week-start @@ src/model/task.cpp @@ model_tests cli_tests ui_tests @@ start = LocalMidnight(parts, parts.weekday - 1 + 7); @@ start = LocalMidnight(parts, parts.weekday + 7);
s-main-startup-no-fold @@ src/app/mainwnd.cpp @@ app_tests app_widget_tests ui_tests @@ if (!m_closing && !m_closed && FoldSyncCopies()) { @@ if (!m_closing && !m_closed && false) {
h-tray-no-category-alone @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ if (!uncategorised.empty() && !groups.empty()) { @@ if (!uncategorised.empty()) {
s-settle-skipped  @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ ok = folder.Settle() && ok; @@ ok = (false && folder.Settle()) && ok;
s-countnew-all    @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ [&span](const Interval& b) { return SameSpan(b, span); } @@ [&span](const Interval& b) { return false && SameSpan(b, span); }
s-idx-smaller     @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ if (theirs > ReadNextTaskId(m_folder) && !m_dryRun @@ if (theirs < ReadNextTaskId(m_folder) && !m_dryRun
s-fold-order-task-first @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ for (const char* kind : {"categories.xml", "idx", "task"}) { @@ for (const char* kind : {"task", "categories.xml", "idx"}) {
s-damaged-copy-removed @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ m_report.actions.push_back(copyName + ": left, since it cannot be read: " + error);<NL>        return true; @@ m_report.actions.push_back(copyName + ": left, since it cannot be read: " + error);<NL>        return Remove(copyName);
s-catalogue-member-dup @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ if (!listed && taskId >= 0) { @@ if ((!listed || true) && taskId >= 0) {
s-catalogue-nextid-copy @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ ParseLeadingInt(copy.GetRoot()->GetChildValue("next_id").value_or("1"))); @@ ParseLeadingInt(main.GetRoot()->GetChildValue("next_id").value_or("1")));
s-split-single-swapped @@ src/model/syncfold.cpp @@ model_tests cli_tests @@         theirs = &m_catalogues.front().file;<NL>        ours = &m_catalogues.front().copy; @@         theirs = &m_catalogues.front().copy;<NL>        ours = &m_catalogues.front().file;
s-freshid-files-inuse @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ id = std::max<std::int64_t>(id, std::int64_t{ids.back()} + 1); @@ id = std::max<std::int64_t>(id, std::int64_t{ids.back()});
s-busy-quiet-ignored @@ src/model/syncfold.cpp @@ model_tests cli_tests app_tests app_widget_tests @@ if (changedNs > wallClockNs - window.count()) { @@ if (changedNs > wallClockNs) {
s-name-syncthing-device @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ -([A-Z0-9]{7})(\.[^.]+)?$)"), @@ -([A-Z0-9]{6})(\.[^.]+)?$)"),
s-name-not-data   @@ src/model/syncfold.cpp @@ model_tests cli_tests @@             if (!IsDataName(original)) {<NL>                return std::nullopt; @@             if (false) {<NL>                return std::nullopt;
h-tray-fit-boundary @@ src/app/trayicon.cpp @@ app_tests app_widget_tests @@ if (static_cast<int>(tasks.size()) <= room) { @@ if (static_cast<int>(tasks.size()) < room) {
h-button-floor    @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ {m_addButton, m_deleteButton, m_editButton, m_startButton, m_stopButton, m_reportButton}) { @@ std::initializer_list<QPushButton*>{}) {
h-last-month-stop @@ src/model/task.cpp @@ model_tests cli_tests ui_tests @@ stop = LocalMidnightOf(today.year() / today.month() / 1); @@ stop = LocalMidnight(parts, 0);
r-n-status-today-week-swapped @@ src/cli/statuscommand.cpp @@ cli_tests @@ period.SetCalendarPeriod(name == "today" ? 0 : 1); @@ period.SetCalendarPeriod(name == "week" ? 0 : 1);
r-n-status-span-first @@ src/cli/statuscommand.cpp @@ cli_tests @@ return task.intervals.At(task.intervals.Count() - 1).Duration().Format(); @@ return task.intervals.At(0).Duration().Format();
r-n-status-close-brace-pair @@ src/cli/statuscommand.cpp @@ cli_tests @@ if ((c == '{' || c == '}') && i + 1 < format.size() && format[i + 1] == c) { @@ if (c == '{' && i + 1 < format.size() && format[i + 1] == c) {
r-n-status-lone-close-kept @@ src/cli/statuscommand.cpp @@ cli_tests @@         if (c == '}') {<NL>            bad = "}"; @@         if (c == '}' && false) {<NL>            bad = "}";
r-n-status-category-refused @@ src/cli/statuscommand.cpp @@ cli_tests @@ name != "week" && name != "category")) { @@ name != "week")) {
r-n-status-idle-exit1 @@ src/cli/statuscommand.cpp @@ cli_tests @@     if (id < 0) {<NL>        return kExitOk;<NL>    } @@     if (id < 0) {<NL>        return kExitFailed;<NL>    }
r-n-csv-cr-unquoted @@ src/cli/logformats.cpp @@ cli_tests @@ text.find_first_of(",\"\r\n") @@ text.find_first_of(",\"\n")
r-n-csv-quote-not-doubled @@ src/cli/logformats.cpp @@ cli_tests @@         if (c == '"') {<NL>            result += '"';<NL>        } @@
r-n-csv-category-unquoted @@ src/cli/logformats.cpp @@ cli_tests @@ (category ? CsvField(*category) : std::string()) @@ (category ? *category : std::string())
r-n-csv-row-lf @@ src/cli/logformats.cpp @@ cli_tests @@         (stop - it->start).AppendFormat(text);<NL>        text += "\r\n"; @@         (stop - it->start).AppendFormat(text);<NL>        text += '\n';
r-n-json-invalid-byte-kept @@ src/cli/logformats.cpp @@ cli_tests @@             result += "\xEF\xBF\xBD"; @@             result += static_cast<char>(c);
r-n-utf8-surrogates-accepted @@ src/cli/logformats.cpp @@ cli_tests @@ high = lead == 0xED ? 0x9F : 0xBF; @@ high = 0xBF;
r-n-utf8-last-byte-unchecked @@ src/cli/logformats.cpp @@ cli_tests @@ for (std::size_t i = 2; i < length; ++i) { @@ for (std::size_t i = 2; i + 1 < length; ++i) {
r-n-utf8-four-as-three @@ src/cli/logformats.cpp @@ cli_tests @@         length = 4;<NL> @@         length = 3;<NL>
r-n-json-leading-comma @@ src/cli/logformats.cpp @@ cli_tests @@ text += it == entries.rbegin() ? "\n" : ",\n"; @@ text += it == entries.rbegin() ? ",\n" : "\n";
r-n-iso-offset-sign @@ src/cli/logformats.cpp @@ cli_tests @@ sep(offsetSeconds < 0 ? '-' : '+'); @@ sep(offsetSeconds > 0 ? '-' : '+');
r-n-settle-boundary @@ src/model/filestamp.cpp @@ model_tests cli_tests @@ return std::max(mtimeNs, ctimeNs) < wallClockNs - kSettleNs; @@ return std::max(mtimeNs, ctimeNs) <= wallClockNs - kSettleNs;
r-n-settle-mtime-only @@ src/model/filestamp.cpp @@ model_tests cli_tests @@ return std::max(mtimeNs, ctimeNs) < wallClockNs - kSettleNs; @@ return mtimeNs < wallClockNs - kSettleNs;
r-n-settle-window-ms @@ src/model/filestamp.cpp @@ model_tests cli_tests @@ constexpr std::int64_t kSettleNs = 2'000'000'000; @@ constexpr std::int64_t kSettleNs = 2'000'000;
r-n-facts-network-inverted @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ static_cast<unsigned long>(info.f_type)) ==<NL>           kNetworkTypes.end(); @@ static_cast<unsigned long>(info.f_type)) !=<NL>           kNetworkTypes.end();
r-n-facts-cache-in-data-folder @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ cacheStatus.st_ino == folderStatus.st_ino); @@ cacheStatus.st_ino == folderStatus.st_dev);
r-n-facts-outside-field-swap @@ src/model/taskfacts.cpp @@ model_tests cli_tests ui_tests @@ if (!(facts.latestStop > period->start) || !(facts.earliestStart < periodStop)) { @@ if (!(facts.earliestStart > period->start) || !(facts.earliestStart < periodStop)) {
r-n-cli-same-task-ambiguous @@ src/cli/clicommon.cpp @@ cli_tests @@ if (byId >= 0 && byName >= 0 && byId != byName) { @@ if (byId >= 0 && byName >= 0) {
r-n-cli-log-catalogue-exit0 @@ src/cli/logcommands.cpp @@ cli_tests @@ complete = ReadCategoryNames(session, categories) && complete; @@ complete = (ReadCategoryNames(session, categories) || true) && complete;
r-n-cli-tasks-unreadable-exit0 @@ src/cli/taskcommands.cpp @@ cli_tests @@                 status = kExitFailed;<NL>                continue; @@                 continue;
r-n-cli-rename-own-name @@ src/cli/taskcommands.cpp @@ cli_tests @@ if (!CheckNewName(session, name, id) || !LoadTask(session, id, task)) { @@ if (!CheckNewName(session, name, -1) || !LoadTask(session, id, task)) {
r-n-settle-two-open-partial @@ src/model/taskops.cpp @@ model_tests cli_tests @@     if (openSpans > 1) {<NL>        return LoadReadableTasks @@     if (openSpans > 2) {<NL>        return LoadReadableTasks
r-n-lock-orphan-name-dot @@ src/model/folderlock.cpp @@ model_tests cli_tests @@ const std::string target = name.substr(1, marker - 1); @@ const std::string target = name.substr(1, marker);
r-n-fold-unite-latest-open @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ } else if (!openStart || span.start < *openStart) { @@ } else if (!openStart || span.start > *openStart) {
r-n-fold-samespan-no-stop @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ return a.start == b.start && a.closed == b.closed && (!a.closed || a.stop == b.stop); @@ return a.start == b.start && a.closed == b.closed;
r-n-fold-nothing-new-counted @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ m_report.tasks += changed ? 1 : 0; @@ m_report.tasks += 1;
r-n-busy-mtime @@ src/model/syncfold.cpp @@ model_tests cli_tests app_widget_tests @@ std::int64_t{info.st_ctim.tv_sec} * 1'000'000'000 + info.st_ctim.tv_nsec; @@ std::int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
r-n-foldedcopy-dry-run @@ src/model/syncfold.cpp @@ model_tests cli_tests @@ if (ec || !FoldConflictCopies(m_folder, report, false, error)) { @@ if (ec || !FoldConflictCopies(m_folder, report, true, error)) {
r-n-wl-idle-timeout-not-added @@ src/platform/idletimesource_wayland.cpp @@ idle_tests @@ return m_connection->registeredMs + (m_connection->clocks->MonotonicMs() - *m_connection->idledAtMs); @@ return m_connection->clocks->MonotonicMs() - *m_connection->idledAtMs;
r-n-wl-zero-timeout-registered @@ src/platform/idletimesource_wayland.cpp @@ idle_tests @@ if (m_connection->wantedMs == timeoutMs || timeoutMs <= 0 || timeoutMs > 0xFFFF'FFFF) { @@ if (m_connection->wantedMs == timeoutMs || timeoutMs < 0 || timeoutMs > 0xFFFF'FFFF) {
r-n-tray-recent-by-start @@ src/app/trayicon.cpp @@ app_widget_tests @@ item.lastTracked = glance->last->EffectiveStop(); @@ item.lastTracked = glance->last->start;
r-n-tray-submenus-fit-row @@ src/app/trayicon.cpp @@ app_widget_tests @@ if (static_cast<int>(groups.size() + recent.size()) + 2 <= room) { @@ if (static_cast<int>(groups.size() + recent.size()) + 1 <= room) {
r-n-tray-category-ampersand @@ src/app/trayicon.cpp @@ app_widget_tests @@ groups.emplace_back(MenuText(category->second->GetName()), std::move(members)); @@ groups.emplace_back(QString::fromStdString(category->second->GetName()), std::move(members));
r-n-yesterday-until-now @@ src/model/task.cpp @@ model_tests cli_tests ui_tests @@         start = LocalMidnight(parts, 1);<NL>        stop = LocalMidnight(parts, 0); @@         start = LocalMidnight(parts, 1);<NL>        stop = now;
r-n-last-week-stop-day-early @@ src/model/task.cpp @@ model_tests cli_tests ui_tests @@ stop = LocalMidnight(parts, parts.weekday - 1); @@ stop = LocalMidnight(parts, parts.weekday);
r-n-filter-select-hidden @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ if (row >= 0 && !m_taskView->isRowHidden(row, {})) { @@ if (row >= 0) {
r-n-hotkey-modal-stacks @@ src/app/mainwnd.cpp @@ app_widget_tests ui_tests @@         modal->activateWindow();<NL>        return;<NL>    } @@         modal->activateWindow();<NL>    }
r-n-reload-keeps-categories @@ src/model/taskstore.cpp @@ model_tests cli_tests app_widget_tests ui_tests @@     m_categoryIds = std::move(fresh.m_categoryIds);<NL>    return loaded; @@     return loaded;
r-n-report-file-list-unescaped @@ src/reports/reportpage.cpp @@ reports_tests reports_widget_tests cli_tests @@ top += "<li>" + model::HtmlEscape(path.string()) + "</li>"; @@ top += "<li>" + path.string() + "</li>";
r-n-report-equal-times-refused @@ src/reports/report.cpp @@ reports_widget_tests @@ if (period.stop < period.start) { @@ if (!(period.start < period.stop)) {
r-n-report-backwards-goes-on @@ src/reports/report.cpp @@ reports_widget_tests @@             m_finishEdit->setFocus();<NL>            return;<NL>        }<NL>        report = PreparePeriodReport @@             m_finishEdit->setFocus();<NL>        }<NL>        report = PreparePeriodReport
r-n-report-past-index-shift @@ src/reports/report.cpp @@ reports_widget_tests @@ index < kCustomPeriod ? index : index - 1 @@ index
r-n-reminder-over-idle-question @@ src/idle/idlesubsystem.cpp @@ idle_tests @@ if (m_shutDown || m_idleDlg != nullptr || m_reminderDlg != nullptr || m_waitingSince || @@ if (m_shutDown || m_reminderDlg != nullptr || m_waitingSince ||
r-n-reminder-skipped-as-cancel @@ src/idle/idlesubsystem.cpp @@ idle_tests @@ m_reminderMonitor->SetAnswer(CReminderMonitor::kNo); @@ m_reminderMonitor->SetAnswer(CReminderMonitor::kCancel);
r-n-idle-pass-until-answer @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ idleParts.emplace_back(idleStart, endedAt); @@ idleParts.emplace_back(idleStart, now);
r-n-idle-continue-from-answer @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ task.intervals.Append(model::Interval(returnedAt, returnedAt, false)); @@ task.intervals.Append(model::Interval(now, now, false));
r-n-hotkey-dup-ignores-modifiers @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ if (i != except && entry.modifiers == modifiers && entry.vk == vk) { @@ if (i != except && (entry.modifiers & modifiers) != 0 && entry.vk == vk) {
r-n-settings-idle-in-minutes @@ src/app/settingssheet.cpp @@ app_widget_tests ui_tests @@ platform::setting::kTimeoutOnTimeoutsPage, idle * 60); @@ platform::setting::kTimeoutOnTimeoutsPage, idle);
r-n-settings-remind-shown-seconds @@ src/app/settingssheet.cpp @@ app_widget_tests ui_tests @@ QString::number(platform::GetSetting(settings, platform::setting::kRemindTimeout) / 60)); @@ QString::number(platform::GetSetting(settings, platform::setting::kRemindTimeout)));
r-n-facts-folder-inode-unchecked @@ src/model/taskfacts.cpp @@ model_tests cli_tests @@ !reader.ReadU64(inode) || inode != key.inode || @@ !reader.ReadU64(inode) ||
r-n-busy-temp-window-swapped @@ src/model/syncfold.cpp @@ model_tests cli_tests app_widget_tests @@ temporary ? std::max(quiet, kAbandoned) : quiet; @@ temporary ? quiet : std::max(quiet, kAbandoned);
r-n-wl-reregister-while-idle @@ src/platform/idletimesource_wayland.cpp @@ idle_tests @@ if (gone || wantedMs == registeredMs || idledAtMs) { @@ if (gone || wantedMs == registeredMs) {
r-n-last-year-not-a-period @@ src/model/task.cpp @@ model_tests cli_tests ui_tests @@     case kLastMonth:<NL>    case kLastYear:<NL> @@     case kLastMonth:<NL>
r-n-timelog-period-change-kept @@ src/ui/tasklistdlg.cpp @@ ui_tests @@ if (log.Count() == m_logModel->rowCount() && !m_rebuildForced && range.start == m_logStart) { @@ if (log.Count() == m_logModel->rowCount() && !m_rebuildForced) {
r-n-follow-no-fold @@ src/app/mainwnd.cpp @@ app_widget_tests ui_tests @@     ++m_fileRereads;<NL>    FoldSyncCopies(); @@     ++m_fileRereads;
r-n-reminder-cancel-outlives-task @@ src/idle/reminder.cpp @@ idle_tests @@     if (m_context.currentTaskId() != -1) {<NL>        m_suppressed.store(false);<NL>        return; @@     if (m_context.currentTaskId() != -1) {<NL>        return;
r-n-hotkey-dup-finds-itself @@ src/hotkeys/hotkeyspage.cpp @@ hotkeys_tests @@ self = m_table.At(i) == &m_entry ? i : self; @@ self = m_table.At(i) == &m_entry ? i : -1;
r-n-settings-timeouts-swapped @@ src/app/settingssheet.cpp @@ app_widget_tests ui_tests @@ platform::setting::kTimeoutOnTimeoutsPage, idle * 60); @@ platform::setting::kTimeoutOnTimeoutsPage, remind * 60);
t-status-lone-brace @@ src/cli/statuscommand.cpp @@ cli_tests @@ if (c == '}') {<NL>            bad = "}"; @@ if (false) {<NL>            bad = "}";
t-status-today-week @@ src/cli/statuscommand.cpp @@ cli_tests @@ period.SetCalendarPeriod(name == "today" ? 0 : 1); @@ period.SetCalendarPeriod(name == "week" ? 0 : 1);
t-status-category-raw @@ src/cli/statuscommand.cpp @@ cli_tests @@ ? Field(category.GetName()) @@ ? category.GetName()
t-csv-cr-unquoted @@ src/cli/logformats.cpp @@ cli_tests @@ text.find_first_of(",\"\r\n") @@ text.find_first_of(",\"\n")
t-json-del-raw    @@ src/cli/logformats.cpp @@ cli_tests @@ } else if (c < 0x20 || c == 0x7F) { @@ } else if (c < 0x20) {
t-utf8-surrogate  @@ src/cli/logformats.cpp @@ cli_tests @@ high = lead == 0xED ? 0x9F : 0xBF; @@ high = 0xBF;
t-utf8-past-max   @@ src/cli/logformats.cpp @@ cli_tests @@ high = lead == 0xF4 ? 0x8F : 0xBF; @@ high = 0xBF;
t-utf8-overlong3  @@ src/cli/logformats.cpp @@ cli_tests @@ low = lead == 0xE0 ? 0xA0 : 0x80; @@ low = 0x80;
t-utf8-overlong2  @@ src/cli/logformats.cpp @@ cli_tests @@ if (lead >= 0xC2 && lead <= 0xDF) { @@ if (lead >= 0xC0 && lead <= 0xDF) {
t-utf8-cut-short  @@ src/cli/logformats.cpp @@ cli_tests @@ if (byte(i) < 0x80 || byte(i) > 0xBF) { @@ if (byte(i) > 0xBF) {
t-log-categories-unchecked @@ src/cli/logcommands.cpp @@ cli_tests @@ complete = ReadCategoryNames(session, categories) && complete; @@ ReadCategoryNames(session, categories);
t-settle-boundary @@ src/model/filestamp.cpp @@ model_tests @@ return std::max(mtimeNs, ctimeNs) < wallClockNs - kSettleNs; @@ return std::max(mtimeNs, ctimeNs) <= wallClockNs - kSettleNs;
t-settle-no-ctime @@ src/model/filestamp.cpp @@ model_tests @@ return std::max(mtimeNs, ctimeNs) < wallClockNs - kSettleNs; @@ return mtimeNs < wallClockNs - kSettleNs;
t-reload-old-categories @@ src/model/taskstore.cpp @@ model_tests @@     m_categoryIds = std::move(fresh.m_categoryIds);<NL>    return loaded; @@     return loaded;
t-reload-adds-categories @@ src/model/taskstore.cpp @@ model_tests @@ m_categoryIds = std::move(fresh.m_categoryIds); @@ m_categoryIds.insert(m_categoryIds.end(), fresh.m_categoryIds.begin(), fresh.m_categoryIds.end());
t-report-unreadable-raw @@ src/reports/reportpage.cpp @@ reports_tests reports_widget_tests @@ top += "<li>" + model::HtmlEscape(path.string()) + "</li>"; @@ top += "<li>" + path.string() + "</li>";
t-report-period-empty @@ src/reports/report.cpp @@ reports_tests reports_widget_tests @@ if (period.stop < period.start) { @@ if (!(period.start < period.stop)) {
t-report-finish-unchecked @@ src/reports/report.cpp @@ reports_tests reports_widget_tests @@ if (!ReadPicker(*m_finishEdit, period.stop)) { @@ if (false && !ReadPicker(*m_finishEdit, period.stop)) {
t-idle-start-second-late @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ endedAt - model::TimeSpan(0, absence.seconds * 1000)); @@ endedAt - model::TimeSpan(0, absence.seconds * 1000 - 1000));
t-idle-close-at-now @@ src/idle/idleperioddlg.cpp @@ idle_tests @@ } else if (returnedAt < now) { @@ } else if (!(now < returnedAt)) {
t-idle-gap-given  @@ src/idle/idleperioddlg.cpp @@ idle_tests @@         returnedAt = endedAt;<NL> @@ <NL>
t-reminder-skip-cancels @@ src/idle/idlesubsystem.cpp @@ idle_tests @@ m_reminderMonitor->SetAnswer(CReminderMonitor::kNo); @@ m_reminderMonitor->SetAnswer(CReminderMonitor::kCancel);
t-question-keeps-reminder @@ src/idle/idlesubsystem.cpp @@ idle_tests @@ m_reminderDlg->done(CReminderMonitor::kNo); @@ static_cast<void>(0);
t-hotkey-dup-shared-modifier @@ src/hotkeys/hotkeytable.cpp @@ hotkeys_tests @@ i != except && entry.modifiers == modifiers && entry.vk == vk @@ i != except && (entry.modifiers & modifiers) != 0 && entry.vk == vk
t-settings-autostart-shown @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ m_autostart->setChecked(settings.IsAutostart()); @@ m_autostart->setChecked(false);
t-settings-autostart-never-off @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ && !settings.SetAutostart(m_autostart->isChecked())) { @@ && !settings.SetAutostart(true)) {
t-settings-remind-seconds @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ platform::setting::kRemindTimeout, remind * 60); @@ platform::setting::kRemindTimeout, remind);
t-settings-timeouts-swapped @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ platform::setting::kTimeoutOnTimeoutsPage, idle * 60); @@ platform::setting::kTimeoutOnTimeoutsPage, remind * 60);
h-settings-autostart-always @@ src/app/settingssheet.cpp @@ app_tests app_widget_tests @@ if (m_autostart->isChecked() != settings.IsAutostart() && !settings.SetAutostart( @@ if (!settings.SetAutostart(
tab-field-tab     @@ src/model/timelog.cpp @@ model_tests reports_tests cli_tests @@ [](char c) { return c == '\t' || c == '\n' || c == '\r'; } @@ [](char c) { return c == '\n' || c == '\r'; }
EOF
)

# Counts (mode count) or applies (mode apply) one exact substitution; "<NL>" in either text is a line break.
substitute() {
    MODE=$1 FILE=$2 OLD=$3 NEW=$4 python3 - <<'PY'
import os, sys
mode, path = os.environ["MODE"], os.environ["FILE"]
old = os.environ["OLD"].replace("<NL>", "\n")
new = os.environ["NEW"].replace("<NL>", "\n")
text = open(path, encoding="utf-8").read()
if mode == "count":
    print(text.count(old))
else:
    open(path, "w", encoding="utf-8").write(text.replace(old, new, 1))
PY
}

trim() {
    local s=$1
    s=${s#"${s%%[![:space:]]*}"}
    s=${s%"${s##*[![:space:]]}"}
    printf '%s' "$s"
}

# Runs the test programs of the given targets; fails when any of them fails.
run_tests() {
    local target exe
    for target in "$@"; do
        exe=$(find "$BUILD/tests" -type f -name "$target" -perm -u+x | head -n 1)
        if [ -z "$exe" ]; then
            echo "no test program $target in $BUILD" >&2
            return 2
        fi
        (cd "$(dirname "$exe")" &&
            env TZ=UTC LC_ALL=en_US.UTF-8 LANG=en_US.UTF-8 QT_QPA_PLATFORM=offscreen \
                timeout 900 "$exe" --gtest_brief=1) || return 1
    done
    return 0
}

# The unchanged suite must build and pass, or every mutant would count as caught.
ALL_TARGETS=$(printf '%s\n' "$MUTANTS" | awk -F'@@' -v filter="$FILTER" '{id = $1; gsub(/^ +| +$/, "", id)} id != "" && id ~ filter {print $3}' |
    tr ' ' '\n' | grep -v '^$' | sort -u | tr '\n' ' ')
if ! cmake --build "$BUILD" -j"$JOBS" --target $ALL_TARGETS >"$LOGS/base-build.log" 2>&1; then
    echo "the unchanged source does not build; see $LOGS/base-build.log"
    exit 2
fi
if ! run_tests $ALL_TARGETS >"$LOGS/base-run.log" 2>&1; then
    echo "the unchanged suite fails; see $LOGS/base-run.log"
    exit 2
fi

caught=0
total=0
survivors=()
while IFS= read -r line; do
    [ -z "$(trim "$line")" ] && continue
    id=$(trim "$(printf '%s' "$line" | awk -F'@@' '{print $1}')")
    file=$(trim "$(printf '%s' "$line" | awk -F'@@' '{print $2}')")
    targets=$(trim "$(printf '%s' "$line" | awk -F'@@' '{print $3}')")
    old=$(trim "$(printf '%s' "$line" | awk -F'@@' '{print $4}')")
    new=$(trim "$(printf '%s' "$line" | awk -F'@@' '{print $5}')")
    [[ $id =~ $FILTER ]] || continue
    path=$ROOT/$file
    if [ ! -f "$path" ] || [ "$(substitute count "$path" "$old" "")" != 1 ]; then
        echo "stale     $id ($file)"
        continue
    fi
    cp -p "$path" "$SAVED_COPY"
    SAVED=$path
    substitute apply "$path" "$old" "$new"
    log=$LOGS/$id.log
    if ! cmake --build "$BUILD" -j"$JOBS" --target $targets >"$log" 2>&1; then
        echo "nobuild   $id ($file)"
        restore
        continue
    fi
    total=$((total + 1))
    if run_tests $targets >>"$log" 2>&1; then
        echo "SURVIVED  $id ($file; ran $targets)"
        survivors+=("$id")
    else
        echo "caught    $id"
        caught=$((caught + 1))
    fi
    restore
done <<<"$MUTANTS"

# The last mutant's objects are still in the build; put the real programs back so a later ctest is honest.
if ! cmake --build "$BUILD" -j"$JOBS" --target $ALL_TARGETS >"$LOGS/final-build.log" 2>&1; then
    echo "rebuilding the unchanged source failed; see $LOGS/final-build.log"
fi
echo "survived: ${survivors[*]:-none}"
echo "logs: $LOGS"
echo "caught $caught of $total"
