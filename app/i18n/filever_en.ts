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
</TS>
