#include "tasks/BusinessFlow.h"

namespace BusinessFlow {

const std::array<Step, kSteps> &steps() {
    static const std::array<Step, kSteps> table = {{
        {{"业务需求", "了解项目信息，初填评审表", "执行人:Kestra、Halvic、Dorvan"},
         "业务需求\n了解项目基本信息，如联系人、安装地址、规格、尺寸、现场照片等",
         "Kestra|Halvic",
         0,
         0},
        {{"技术评估-结构、施工", "根据评审表完善结构、施工", "执行人:Aldren、Berric"},
         "技术评估结构、施工\n根据业务员给予的信息如现场照片、尺寸、规格需求、安装环境等设计结构、"
         "施工方案",
         "Aldren|Berric",
         1,
         0},
        {{"技术评估-系统配置", "根据评审表完善系统配置", "执行人:Fennick、Gessa"},
         "技术评估系统配置\n根据业务员给予的信息如现场照片、尺寸、规格需求、安装环境、顾客需求等"
         "设计系统配置方案",
         "Fennick|Gessa",
         2,
         0},
        {{"技术评估-LCD配置", "根据评审表完善LCD配置", "执行人:Gessa"},
         "技术评估LCD配置\n根据业务员给予的信息如现场照片、尺寸、规格需求、安装环境、顾客需求等"
         "设计LCD配置方案",
         "Gessa",
         2,
         1},
        {{"商务评估", "审核评审表，沟通客户", "执行人:Kestra、Halvic、Dorvan"},
         "商务评估\n根据技术部给予的项目配置方案如结构、施工、系统配备、LCD等信息形成价格预算，"
         "上报部门领导。并依此和客户进行商务活动",
         "Kestra|Halvic",
         1,
         1},
        {{"订单确认", "下单信息(规格、尺寸、日期)", "执行人:Kestra、Halvic、Dorvan"},
         "订单确认\n依项目商务活动，签订项目合同(未签订合同需领导特批)。明确项目地址、联系人、"
         "规格、尺寸等详细信息",
         "Kestra|Halvic",
         0,
         1},
        {{"生产计划编制、下达", "依订单编制、下达BOM计划", "执行人:Elsken"},
         "生产计划编制、下达\n根据项目合同信息，编制BOM单并下发",
         "Elsken",
         0,
         3},
        {{"生产-模组BOM", "依生产计划处理模组BOM", "执行人:Calwen"},
         "生产-模组BOM\n根据项目信息及计划BOM需求，出模组BOM",
         "Calwen",
         1,
         2},
        {{"生产-电气BOM", "依生产计划处理电气BOM", "执行人:Elsken"},
         "生产-电气BOM\n根据项目信息及计划BOM需求，出电气BOM",
         "Elsken",
         1,
         3},
        {{"生产-结构BOM", "依生产计划处理结构BOM", "执行人:Aldren、Berric"},
         "生产-结构BOM\n根据项目信息及计划BOM需求，出结构BOM",
         "Aldren|Berric",
         1,
         4},
        {{"生产", "依生产计划进行生产", "执行人:Ivrel"},
         "生产\n根据项目信息及计划BOM需求，组织安排生产",
         "Ivrel",
         2,
         3},
        {{"成品交库", "依项目信息及BOM单检测成品", "执行人:Jorun"},
         "成品入库\n依项目信息及BOM单检测成品，合格方可入库及现场安装",
         "Jorun",
         2,
         4},
        {{"", "常规下单", ""}, "", "", 0, 4},
    }};
    return table;
}

const QList<QPair<int, int>> &arrows() {
    static const QList<QPair<int, int>> flow = {{0, 1},  {1, 2},  {2, 3},  {3, 4}, {4, 5},
                                                {5, 6},  {6, 7},  {6, 8},  {6, 9}, {7, 10},
                                                {8, 10}, {9, 10}, {10, 11}};
    return flow;
}

} // namespace BusinessFlow
