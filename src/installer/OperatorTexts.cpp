// The operator's texts and the package constants.
#include "installer/OperatorTexts.h"

namespace orb::installer {

const char kCaption[] = "2004年度企业QMVT考核任务 参数安装";
const char kDialogTitle[] = "请选择《Zentab2004》安装路径";
const char kTaskZipResource[] = "TASK_ZIP";
const char kTaskFolderName[] = "2004年度企业QMVT考核任务.tsk";
const char kTaskFlag[] = "QMVT04";
const char kDefaultTaskPath[] = "C:\\ZenTasks2004\\";

const char kMsgNoHost[] = "找不到《Zentab2004》安装位置，参数安装失败！";
const char kMsgFlagExists[] = "任务标识符“QMVT04”已经存在，请隐藏该任务并搜索";
const char kMsgFinished[] = "《2004年度企业QMVT考核任务》参数安装完毕！";
const char kMsgWrongVersion[] =
    "你当前使用的《Zentab2004》版本不对，请从Kestrovan公司网站下载最新版本名，"
    "否则“QMVT标准值提取”功能无法正常使用！";
const char kMsgInUse[] = "《Zentab2004》正在使用，请退出该软件重新安装参数！";
const char kMsgExtractFailed[] = "任务参数包解压失败，参数安装失败！";
const char kMsgEmptyPackage[] = "任务参数包中没有任何文件";
const char kMsgOutsideTopFolder[] = "不在任务文件夹之内";
const char kMsgUndone[] = "本次安装所做的更改已全部撤销，计算机已恢复到安装前的状态。";
const char kMsgNotRestored[] = "本次安装所做的更改未能全部撤销，以下文件未能恢复，请手工处理：";
const char kMsgEarlierRunNotRestored[] =
    "上次中断的安装所做的更改未能全部撤销，以下文件未能恢复，请手工处理后再安装：";
const char kMsgCannotStart[] = "无法建立安装记录 ";
const char kMsgJournalFailed[] = "写安装记录失败：";
const char kMsgCatalogNotSaved[] = "无法备份任务配置文件 ";

}  // namespace orb::installer
