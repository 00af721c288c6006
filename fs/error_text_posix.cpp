#include "fs/error_text_posix.h"

#include <cerrno>
#include <system_error>

namespace batchext {

std::string ErrorText(int error_number) {
  switch (error_number) {
    case EPERM:
      return "不允许的操作";
    case ENOENT:
      return "没有那个文件或目录";
    case EIO:
      return "输入/输出错误";
    case ENXIO:
      return "没有那个设备或地址";
    case EBADF:
      return "错误的文件描述符";
    case EAGAIN:
      return "资源暂时不可用";
    case ENOMEM:
      return "无法分配内存";
    case EACCES:
      return "权限不够";
    case EBUSY:
      return "设备或资源忙";
    case EEXIST:
      return "文件已存在";
    case EXDEV:
      return "无效的跨设备链接";
    case ENOTDIR:
      return "不是目录";
    case EISDIR:
      return "是一个目录";
    case EINVAL:
      return "无效的参数";
    case ENFILE:
      return "系统中打开的文件过多";
    case EMFILE:
      return "打开的文件过多";
    case ETXTBSY:
      return "文本文件忙";
    case EFBIG:
      return "文件过大";
    case ENOSPC:
      return "设备上没有空间";
    case EROFS:
      return "只读文件系统";
    case EMLINK:
      return "过多的链接";
    case ENAMETOOLONG:
      return "文件名过长";
    case ENOTEMPTY:
      return "目录非空";
    case ELOOP:
      return "符号链接的层数过多";
    // Only a source that shrank while it was copied is told this way.
    case ENODATA:
      return "来源文件在复制途中变短了";
    case EOVERFLOW:
      return "对已定义的数据类型来说值过大";
    case EOPNOTSUPP:
      return "不支持的操作";
    case ETIMEDOUT:
      return "连接超时";
    case ESTALE:
      return "过旧的文件句柄";
    case EDQUOT:
      return "超出磁盘限额";
    default:
      return std::system_category().message(error_number);
  }
}

}  // namespace batchext
