// The maker's web page, opened by the About box's link line and the update
// check. Change the page here; the About box shows the host name.
#pragma once

#define MAKER_PAGE_HOST "www.tollvard.kr"
// Over HTTPS: the browser that opens it runs with our administrator rights.
#define MAKER_PAGE_ADDRESS "https://www.tollvard.kr/"
