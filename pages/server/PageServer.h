#pragma once
// The page process's side of its socket: it answers the application's requests one at a time
// with what Poppler reads or draws of a page, until the application closes the socket.

#include <string>
#include <string_view>

#include "pages/PageProtocol.h"
#include "pages/server/PopplerPages.h"

class PageServer {
public:
    // `pages` is null when the document could not be opened: the hello says so and every
    // request is answered with nothing.
    PageServer(int socket, const PopplerPages* pages) : socket_(socket), pages_(pages) {}

    // Sends the hello, then answers requests until the application lets the document go, the
    // socket closes or a request is broken.
    void serve();

private:
    // A payload: its head, then (for an image) the pixels where they were drawn.
    struct Reply {
        std::string head;
        std::string_view body;
    };
    Reply answer(const PageProtocol::Request& request) const;
    bool send(const Reply& reply);

    int socket_;
    const PopplerPages* pages_;
};
