#include "ui/form/info_links.h"

#include "ui/form/info_links_config.h"

namespace batchext {

InfoLinks DefaultInfoLinks() {
  return {config::kHomePageUrl, config::kTaskPageUrl, config::kPanel1Url,
          config::kPanel2Url, config::kContactLine};
}

}  // namespace batchext
