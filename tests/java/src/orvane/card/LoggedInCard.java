package orvane.card;

import java.util.concurrent.ExecutorService;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Timeout;

/** Cases that start logged in on an inserted card, with two threads of their own, and leave the card inserted. */
abstract class LoggedInCard {
    protected final ExecutorService pool = Card.daemons(2);

    @BeforeEach
    @Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void loggedIn() throws Exception {
        Card.ensureInserted();
        Card.freshLogin();
    }

    @AfterEach
    @Timeout(value = 20, threadMode = Timeout.ThreadMode.SEPARATE_THREAD)
    void cardBack() throws Exception {
        pool.shutdownNow();
        Card.ensureInserted();
    }
}
