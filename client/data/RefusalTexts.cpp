#include "data/RefusalTexts.h"

#include <QHash>

namespace RefusalTexts {

QString of(const QString &code) {
    static const QHash<QString, QString> texts{
        {QStringLiteral("busy"), QStringLiteral("服务器正忙，请稍后再试。")},
        {QStringLiteral("unavailable"), QStringLiteral("服务器的数据库暂时无法访问，请稍后再试。")},
        {QStringLiteral("throttled"),
         QStringLiteral("登录失败或请求过于频繁，服务器暂时不受理，请稍候再试。")},
        {QStringLiteral("unauthorized"),
         QStringLiteral("不接受当前成员的登录信息，请重新登录。")},
        {QStringLiteral("too-large"), QStringLiteral("请求或查询结果的数据量过大，请缩小范围。")},
        {QStringLiteral("malformed"), QStringLiteral("服务器无法识别此次请求。")},
        {QStringLiteral("statement-refused"), QStringLiteral("服务器不执行此类请求。")},
        {QStringLiteral("not-privileged"),
         QStringLiteral("只有具有管理权限的成员才能进行此项操作。")},
        {QStringLiteral("not-creator"), QStringLiteral("只有项目的创建人才能完成或删除该项目。")},
        {QStringLiteral("not-dispatcher"), QStringLiteral("只有任务的派发人才能进行此项操作。")},
        {QStringLiteral("not-related"), QStringLiteral("只有任务的关联人员才能签收该任务。")},
        {QStringLiteral("not-own-login"), QStringLiteral("只能修改自己的登录信息。")},
        {QStringLiteral("wrong-state"),
         QStringLiteral("项目或任务当前的状态不允许此项操作，可能已被他人修改，请刷新后查看。")},
        {QStringLiteral("name-invalid"), QStringLiteral("姓名或用户名为空，或含有不允许的字符。")},
        {QStringLiteral("name-taken"), QStringLiteral("该姓名或用户名已被其他成员使用。")},
        {QStringLiteral("key-taken"), QStringLiteral("该项目编号或任务已经存在。")},
        {QStringLiteral("value-invalid"), QStringLiteral("提交的内容不符合要求（如时间格式不正确）。")},
        {QStringLiteral("quota"), QStringLiteral("当前用户今天的数据额度已用完，请明天再试。")},
        {QStringLiteral("database"), QStringLiteral("数据库拒绝了此次修改。")},
        {QStringLiteral("not-own-name"), QStringLiteral("只能以自己的姓名记录此项操作。")},
        {QStringLiteral("changed-meanwhile"),
         QStringLiteral("该项目或任务已被他人修改，请重新打开后再试。")},
        {QStringLiteral("gone"), QStringLiteral("该项目或任务已被他人删除。")},
        {QStringLiteral("notice-share"),
         QStringLiteral("当前姓名近15天的通知内容已达上限，请稍后再试。")},
    };
    return texts.value(code);
}

} // namespace RefusalTexts
