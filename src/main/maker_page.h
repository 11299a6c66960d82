// The maker's web page, opened by the About box's link line and the update
// check. Change the page here; the About box shows the host name.
#pragma once

#define MAKER_PAGE_HOST "www.tollvard.kr"
#define MAKER_PAGE_ADDRESS "http://www.tollvard.kr/"
