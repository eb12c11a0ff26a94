<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>filever</name>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>“%1”太长，无法存入目录字段“%2”（%3 字节，最多 %4 字节）</source>
        <translation>“%1” is too long for the catalogue field “%2” (%3 bytes, at most %4)</translation>
    </message>
    <message>
        <source>版本目录没有打开</source>
        <translation>The version catalogue is not open</translation>
    </message>
    <message>
        <source>版本目录“%1”没有打开：%2</source>
        <translation>The version catalogue “%1” is not open: %2</translation>
    </message>
    <message>
        <source>保留策略无法保存：%1</source>
        <translation>The retention policy cannot be saved: %1</translation>
    </message>
    <message>
        <source>监控目录无法保存：%1</source>
        <translation>The watched folder cannot be saved: %1</translation>
    </message>
    <message>
        <source>选择要监控的目录</source>
        <translation>Choose a Folder to Watch</translation>
    </message>
    <message>
        <source>文件版本控制</source>
        <translation>File Version Control</translation>
    </message>
    <message>
        <source>日期</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>版本数</source>
        <translation>Versions</translation>
    </message>
    <message>
        <source>存储区</source>
        <translation>Storage area</translation>
    </message>
    <message>
        <source>字节数</source>
        <translation>Bytes</translation>
    </message>
    <message>
        <source>排名</source>
        <translation>Rank</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>文件“%1”不在监控列表中</source>
        <translation>The file “%1” is not being watched</translation>
    </message>
    <message>
        <source>版本“%1”不是文件“%2”的版本</source>
        <translation>“%1” is not a version of the file “%2”</translation>
    </message>
    <message>
        <source>无法启动比较工具“%1”，改用内置的比较窗口。</source>
        <translation>The comparison tool “%1” could not be started; the built-in comparison window is used instead.</translation>
    </message>
    <message>
        <source>
%1：%2 字节
%3：%4 字节</source>
        <translation>
%1: %2 bytes
%3: %4 bytes</translation>
    </message>
    <message>
        <source>文件太大，无法在内置的比较窗口中显示。</source>
        <translation>The files are too large for the built-in comparison window.</translation>
    </message>
    <message>
        <source>两个文件的内容相同。</source>
        <translation> The two files have the same content.</translation>
    </message>
    <message>
        <source>两个文件的内容不同。</source>
        <translation> The two files differ.</translation>
    </message>
    <message>
        <source>这是二进制文件，无法逐行比较。</source>
        <translation>These are binary files and cannot be compared line by line.</translation>
    </message>
    <message>
        <source>主页</source>
        <translation>Home page</translation>
    </message>
    <message>
        <source>版本 %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>文件“%1”在合并期间被修改过，合并结果没有保存。请重新打开版本合并。</source>
        <translation>The file “%1” was changed during the merge; the merge result was not saved. Open Merge Versions again.</translation>
    </message>
    <message>
        <source>目录“%1”不存在</source>
        <translation>The folder “%1” does not exist</translation>
    </message>
    <message>
        <source>存储区 %1 不存在</source>
        <translation>Storage area %1 does not exist</translation>
    </message>
</context>
<context>
    <name>filever::TCompareView</name>
    <message>
        <source>版本比较</source>
        <translation>Compare Versions</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>两个文件的内容相同</source>
        <translation>The two files have the same content</translation>
    </message>
    <message>
        <source>共有 %1 处不同</source>
        <translation>%1 place(s) differ</translation>
    </message>
</context>
<context>
    <name>filever::TCreatDataAreaW</name>
    <message>
        <source>建立新的储存区</source>
        <translation>New Storage Area</translation>
    </message>
    <message>
        <source>选择目录作为文件历史版本保存区域</source>
        <translation>Choose the folder that will keep the earlier versions of files</translation>
    </message>
    <message>
        <source>文件保存目录为：</source>
        <translation>Keep versions in:</translation>
    </message>
    <message>
        <source>存储区名称：</source>
        <translation>Area name:</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>放弃</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>filever::TFolderDialog</name>
    <message>
        <source>增加目录</source>
        <translation>Add Folder</translation>
    </message>
    <message>
        <source>目录“%1”中的文件都将在存储区“%2”中保存版本，以后新出现的文件也会自动加入。</source>
        <translation>Versions of every file in the folder “%1” will be kept in the storage area “%2”; files that appear there later are added too.</translation>
    </message>
    <message>
        <source>包含子目录</source>
        <translation>Include subfolders</translation>
    </message>
    <message>
        <source>排除规则（每行一个，按文件名匹配，* 和 ? 为通配符；以 / 结尾的只排除目录）：</source>
        <translation>Exclusions (one a line, matched against file names, * and ? as wildcards; a rule ending in / excludes folders only):</translation>
    </message>
</context>
<context>
    <name>filever::TFormVerSm</name>
    <message>
        <source>版本说明</source>
        <translation>Version Description</translation>
    </message>
    <message>
        <source>版本说明：</source>
        <translation>Description:</translation>
    </message>
    <message>
        <source>提交</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>放弃</source>
        <translation>Cancel</translation>
    </message>
</context>
<context>
    <name>filever::TMergeView</name>
    <message>
        <source>版本合并</source>
        <translation>Merge Versions</translation>
    </message>
    <message>
        <source>版本 %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>当前文件</source>
        <translation>Current file</translation>
    </message>
    <message>
        <source>合并结果</source>
        <translation>Merge result</translation>
    </message>
    <message>
        <source>采用此处</source>
        <translation>Take This</translation>
    </message>
    <message>
        <source>保留当前</source>
        <translation>Keep Current</translation>
    </message>
    <message>
        <source>上一处</source>
        <translation>Previous</translation>
    </message>
    <message>
        <source>下一处</source>
        <translation>Next</translation>
    </message>
    <message>
        <source>保存合并结果</source>
        <translation>Save Merge Result</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>合并结果在此处采用版本中的内容</source>
        <translation>The merge result takes the version’s content here</translation>
    </message>
    <message>
        <source>合并结果在此处保留当前文件的内容</source>
        <translation>The merge result keeps the current file’s content here</translation>
    </message>
    <message>
        <source>第 %1 处（第 %2 行）</source>
        <translation>Place %1 (line %2)</translation>
    </message>
    <message>
        <source>不同之处</source>
        <translation>Differences</translation>
    </message>
    <message>
        <source>版本与当前文件的内容相同，没有可以合并的改动</source>
        <translation>The version and the current file have the same content; there is nothing to merge</translation>
    </message>
    <message>
        <source>共有 %1 处不同，已采用 %2 处</source>
        <translation>%1 place(s) differ, %2 taken</translation>
    </message>
    <message>
        <source>合并结果没有保存，“%1”保持原样。
%2</source>
        <translation>The merge result was not saved; “%1” is unchanged.
%2</translation>
    </message>
    <message>
        <source>已将版本 %1 中的 %2 处改动合并到“%3”。</source>
        <translation>%2 change(s) from version %1 were merged into “%3”.</translation>
    </message>
    <message>
        <source>合并前的内容已保存为版本 %1。</source>
        <translation>The content before the merge was kept as version %1.</translation>
    </message>
</context>
<context>
    <name>filever::TReportView</name>
    <message>
        <source>排名</source>
        <translation>Rank</translation>
    </message>
    <message>
        <source>文件</source>
        <translation>File</translation>
    </message>
    <message>
        <source>版本数</source>
        <translation>Versions</translation>
    </message>
    <message>
        <source>占用空间</source>
        <translation>Space used</translation>
    </message>
    <message>
        <source>最近%1天</source>
        <translation>Last %1 days</translation>
    </message>
    <message>
        <source>每日版本数</source>
        <translation>Versions per day</translation>
    </message>
    <message>
        <source>各存储区占用空间</source>
        <translation>Space used by each storage area</translation>
    </message>
    <message>
        <source>每日版本</source>
        <translation>Versions per Day</translation>
    </message>
    <message>
        <source>存储区占用</source>
        <translation>Space by Area</translation>
    </message>
    <message>
        <source>修改最多的文件</source>
        <translation>Most Changed Files</translation>
    </message>
    <message>
        <source>占用最大的文件</source>
        <translation>Largest Files</translation>
    </message>
    <message>
        <source>统计期间：</source>
        <translation>Period:</translation>
    </message>
    <message>
        <source>%1 至 %2</source>
        <translation>%1 to %2</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export Image</translation>
    </message>
    <message>
        <source>报表.png</source>
        <translation>report.png</translation>
    </message>
    <message>
        <source>PNG 图片 (*.png)</source>
        <translation>PNG images (*.png)</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>报表.csv</source>
        <translation>report.csv</translation>
    </message>
    <message>
        <source>CSV 文件 (*.csv)</source>
        <translation>CSV files (*.csv)</translation>
    </message>
</context>
<context>
    <name>filever::TRetentionDialog</name>
    <message>
        <source>保留策略</source>
        <translation>Retention Policy</translation>
    </message>
    <message>
        <source>存储区“%1”的历史版本保留方式：</source>
        <translation>Versions to keep in the storage area “%1”:</translation>
    </message>
    <message>
        <source>保留全部版本</source>
        <translation>Keep all versions</translation>
    </message>
    <message>
        <source>每个文件只保留最近的版本，个数：</source>
        <translation>Keep only the most recent versions of each file:</translation>
    </message>
    <message>
        <source>逐步稀疏：最近一小时全部保留，一天内每小时保留一个，30 天内每天保留一个，更早的每周保留一个</source>
        <translation>Thin out: all of the last hour, then hourly for a day, daily for 30 days and weekly before that</translation>
    </message>
    <message>
        <source>限制占用空间（MB）：</source>
        <translation>Limit the space used (MB):</translation>
    </message>
    <message>
        <source>有版本说明的版本和每个文件的最新版本永远不会被自动删除。删除之前会列出将要删除的版本。</source>
        <translation>Versions with a description and the latest version of each file are never deleted automatically. The versions to be deleted are listed before anything is deleted.</translation>
    </message>
</context>
<context>
    <name>filever::TRibbon</name>
    <message>
        <source>后台运行</source>
        <translation>Run in Background</translation>
    </message>
    <message>
        <source>退出软件</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>文件版本控制</source>
        <translation>File Version Control</translation>
    </message>
    <message>
        <source>文件管理</source>
        <translation>Files</translation>
    </message>
    <message>
        <source>增加存储区</source>
        <translation>Add Storage Area</translation>
    </message>
    <message>
        <source>增加文件</source>
        <translation>Add File</translation>
    </message>
    <message>
        <source>增加目录</source>
        <translation>Add Folder</translation>
    </message>
    <message>
        <source>版本合并</source>
        <translation>Merge Versions</translation>
    </message>
    <message>
        <source>自动监测</source>
        <translation>Auto Watch</translation>
    </message>
    <message>
        <source>网络管理</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>增加监控文件</source>
        <translation>Add Watched File</translation>
    </message>
    <message>
        <source>报表</source>
        <translation>Reports</translation>
    </message>
    <message>
        <source>刷新报表</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>导出图片</source>
        <translation>Export Image</translation>
    </message>
    <message>
        <source>导出CSV</source>
        <translation>Export CSV</translation>
    </message>
    <message>
        <source>设置</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>开机启动</source>
        <translation>Start at log-on</translation>
    </message>
</context>
<context>
    <name>filever::Tmainw</name>
    <message>
        <source>文件版本</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>大小</source>
        <translation>Size</translation>
    </message>
    <message>
        <source>说明</source>
        <translation>Description</translation>
    </message>
    <message>
        <source>版本列表</source>
        <translation>Versions</translation>
    </message>
    <message>
        <source>文件管理树</source>
        <translation>File Tree</translation>
    </message>
    <message>
        <source>填写版本说明</source>
        <translation>Write Description</translation>
    </message>
    <message>
        <source>添加监控版本</source>
        <translation>Add Watched File</translation>
    </message>
    <message>
        <source>删除监控文件</source>
        <translation>Remove Watched File</translation>
    </message>
    <message>
        <source>增加存储区</source>
        <translation>Add Storage Area</translation>
    </message>
    <message>
        <source>删除存储区</source>
        <translation>Remove Storage Area</translation>
    </message>
    <message>
        <source>保留策略</source>
        <translation>Retention Policy</translation>
    </message>
    <message>
        <source>增加目录</source>
        <translation>Add Folder</translation>
    </message>
    <message>
        <source>移除目录</source>
        <translation>Remove Folder</translation>
    </message>
    <message>
        <source>重新保存版本</source>
        <translation>Save Version Again</translation>
    </message>
    <message>
        <source>显示Wendle文件管理</source>
        <translation>Show Wendle File Manager</translation>
    </message>
    <message>
        <source>后台运行</source>
        <translation>Run in Background</translation>
    </message>
    <message>
        <source>暂停监测</source>
        <translation>Pause Watching</translation>
    </message>
    <message>
        <source>退出Wendle文件管理</source>
        <translation>Exit Wendle File Manager</translation>
    </message>
    <message>
        <source>开启时，文件改动后直接保存新版本，不再询问版本说明（可以以后再填写）</source>
        <translation>When on, a changed file is kept as a new version at once, without asking for a description (you can write one later)</translation>
    </message>
    <message>
        <source>没有输入密码</source>
        <translation>no password was entered</translation>
    </message>
    <message>
        <source>无法打开版本目录“%1”：%2
需要版本目录的命令已停用：增加存储区、增加文件、删除监控文件、填写版本说明、恢复和比较版本、搜索版本。请检查该文件后重新启动程序。</source>
        <translation>The version catalogue “%1” could not be opened: %2
The commands that need it are disabled: Add Storage Area, Add File, Remove Watched File, Write Description, restoring and comparing versions, searching versions. Check the file, then start the program again.</translation>
    </message>
    <message>
        <source>版本目录“%1”没有打开</source>
        <translation>The version catalogue “%1” is not open</translation>
    </message>
    <message>
        <source>历史版本占用 %1</source>
        <translation>Stored versions use %1</translation>
    </message>
    <message>
        <source>目录不存在</source>
        <translation>The folder does not exist</translation>
    </message>
    <message>
        <source>输入存储区名称有错</source>
        <translation>The storage area name is not valid</translation>
    </message>
    <message>
        <source>已经有名为“%1”的存储区，请换一个名称</source>
        <translation>A storage area named “%1” already exists: choose another name</translation>
    </message>
    <message>
        <source>删除存储区“%1”，不再监控其中的 %2 个文件？已保存的历史版本仍留在存储区目录中。</source>
        <translation>Remove the storage area “%1” and stop watching its %2 file(s)? The versions already kept stay in the area’s folder.</translation>
    </message>
    <message>
        <source>按新的保留策略，将删除以下 %1 个版本，释放 %2。删除后无法恢复，确定吗？</source>
        <translation>The new retention policy deletes the following %1 version(s), freeing %2. They cannot be restored afterwards. Go ahead?</translation>
    </message>
    <message>
        <source>打开所在文件夹</source>
        <translation>Open Containing Folder</translation>
    </message>
    <message>
        <source>没有程序可以打开“%1”。要打开它所在的文件夹吗？</source>
        <translation>No program can open “%1”. Open the folder that holds it?</translation>
    </message>
    <message>
        <source>没有程序可以打开文件夹“%1”。</source>
        <translation>No program can open the folder “%1”.</translation>
    </message>
    <message>
        <source>“%1”有了新的内容</source>
        <translation>“%1” has new content</translation>
    </message>
    <message>
        <source>版本没有保存：%1</source>
        <translation>Version not saved: %1</translation>
    </message>
    <message>
        <source>文件“%1”的版本没有保存：%2
在该文件再次改动或选择“重新保存版本”之前，不再为它提示</source>
        <translation>A version of the file “%1” was not saved: %2
You will not be told again until the file changes again or you choose “Save Version Again”</translation>
    </message>
    <message>
        <source>继续监测</source>
        <translation>Resume Watching</translation>
    </message>
    <message>
        <source>%1（监测已暂停）</source>
        <translation>%1 (watching paused)</translation>
    </message>
    <message>
        <source>温馨提示</source>
        <translation>Note</translation>
    </message>
    <message>
        <source>文件版本控制进入后台运行
如要退出监控文件，请在右下角右键进入菜单！</source>
        <translation>File Version Control is running in the background.
To stop watching files, right-click its icon in the notification area.</translation>
    </message>
    <message>
        <source>请先选择一个存储区</source>
        <translation>Select a storage area first</translation>
    </message>
    <message>
        <source>正在登记“%1”中的文件……</source>
        <translation>Registering the files in “%1”…</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>正在登记“%1”中的文件：%2 / %3</source>
        <translation>Registering the files in “%1”: %2 / %3</translation>
    </message>
    <message>
        <source>已停止：已登记的 %1 个文件继续受到监控，目录“%2”没有加入。</source>
        <translation>Stopped: the %1 file(s) already registered stay watched; the folder “%2” was not added.</translation>
    </message>
    <message>
        <source>请先选择监控目录中的一个文件，或只有一个监控目录的存储区</source>
        <translation>Select a file in a watched folder first, or a storage area with a single watched folder</translation>
    </message>
    <message>
        <source>不再监控目录“%1”及其中的 %2 个文件？已保存的历史版本仍留在存储区目录中。</source>
        <translation>Stop watching the folder “%1” and its %2 file(s)? The versions already kept stay in the storage area’s folder.</translation>
    </message>
    <message>
        <source>系统允许的文件监视数量（inotify）已经用完，有些目录里的改动将不会被发现。
请提高这个上限，例如运行：
    sudo sysctl fs.inotify.max_user_watches=524288
要在重新开机后仍然有效，把 fs.inotify.max_user_watches=524288 写入 /etc/sysctl.d/ 中的一个配置文件。然后重新启动本程序。</source>
        <translation>The system’s limit on file watches (inotify) is used up; changes in some folders will not be noticed.
Raise the limit, for example by running:
    sudo sysctl fs.inotify.max_user_watches=524288
To keep it after a restart, write fs.inotify.max_user_watches=524288 into a file in /etc/sysctl.d/. Then start this program again.</translation>
    </message>
    <message>
        <source>搜索版本说明或文件名称</source>
        <translation>Search descriptions or file names</translation>
    </message>
    <message>
        <source>恢复此版本</source>
        <translation>Restore This Version</translation>
    </message>
    <message>
        <source>与当前文件比较</source>
        <translation>Compare with Current File</translation>
    </message>
    <message>
        <source>比较两个版本</source>
        <translation>Compare Two Versions</translation>
    </message>
    <message>
        <source>用版本 %1 替换“%2”的当前内容吗？当前内容会先保存为一个新版本。</source>
        <translation>Replace the current content of “%2” with version %1? The current content is kept as a new version first.</translation>
    </message>
    <message>
        <source>已将“%1”恢复为版本 %2。</source>
        <translation>“%1” was restored to version %2.</translation>
    </message>
    <message>
        <source>
恢复前的内容已保存为版本 %1。</source>
        <translation>
The content before the restore was kept as version %1.</translation>
    </message>
    <message>
        <source>当前文件</source>
        <translation>Current file</translation>
    </message>
    <message>
        <source>请先选中同一文件的两个版本（按住 Ctrl 键单击）。</source>
        <translation>Select two versions of the same file first (Ctrl+click).</translation>
    </message>
    <message>
        <source>文件夹“%1”不存在。</source>
        <translation>The folder “%1” does not exist.</translation>
    </message>
    <message>
        <source>没有找到含有“%1”的版本</source>
        <translation>No version contains “%1”</translation>
    </message>
    <message>
        <source>请先在目录树中选中要合并到当前文件的版本。</source>
        <translation>First select, in the tree, the version to merge into the current file.</translation>
    </message>
    <message>
        <source>版本 %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>版本 %1 与当前文件的内容相同，没有可以合并的改动。</source>
        <translation>Version %1 has the same content as the current file; there is nothing to merge.</translation>
    </message>
</context>
</TS>
